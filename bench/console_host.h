// The window's part of an upload, on a console: log lines go to standard output, the open
// dialog is answered with a fixed path, an error box goes to standard error.
#pragma once

#include "upload_host.h"

#include <chrono>
#include <string>

class ConsoleHost : public UploadHost {
public:
    explicit ConsoleHost(std::string imagePath) : imagePath_(std::move(imagePath)) {}

    void ClearLog() override {}
    void AddLine(const std::string& text) override;
    bool Execute(OpenDialog& dialog) override;
    void ErrorBox(const std::string& text) override;
    void ProcessMessages() override {}

    // The last line added ("" before the first), and when it was added.
    const std::string& LastLine() const { return lastLine_; }
    std::chrono::steady_clock::time_point LastLineTime() const { return lastLineTime_; }

private:
    std::string imagePath_;
    std::string lastLine_;
    std::chrono::steady_clock::time_point lastLineTime_{};
};
