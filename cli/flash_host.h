// The window's part of an upload in a worker: log lines and boxes go to the parent as events, the
// open dialog is answered with the image given on the command line.
#pragma once

#include "events.h"
#include "upload_host.h"

#include <chrono>
#include <functional>
#include <string>

class FlashHost : public UploadHost {
public:
    using Send = std::function<void(const WorkerEvent&)>;
    FlashHost(std::string image, Send send) : image_(std::move(image)), send_(std::move(send)) {}

    void ClearLog() override {}
    void AddLine(const std::string& text) override;
    bool Execute(OpenDialog& dialog) override;
    void ErrorBox(const std::string& text) override;
    void ProcessMessages() override {}

    // True between "Please turn ON the IRD" and the next line: the wake-up is running.
    bool Waking() const { return waking_; }
    std::chrono::steady_clock::time_point LastLineTime() const { return lastLineTime_; }
    bool AnyLine() const { return anyLine_; }

private:
    std::string image_;
    Send send_;
    bool waking_ = false;
    bool anyLine_ = false;
    std::chrono::steady_clock::time_point lastLineTime_{};
};
