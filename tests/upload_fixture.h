// Runs UploadImage for tests: a recording host in place of the window, the simulated receiver on
// a pseudo-terminal linked as COM3, and a virtual clock.
#pragma once

#include "connection.h"
#include "sim_process.h"
#include "temp_ports.h"
#include "upload_image.h"
#include "virtual_clock.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Records what the upload shows; answers the open dialog with a path, or cancels it.
class RecordingHost : public UploadHost {
public:
    void ClearLog() override {
        log.clear();
        ++clears;
    }
    void AddLine(const std::string& text) override { log.push_back(text); }
    bool Execute(OpenDialog& dialog) override {
        dialogs.push_back(dialog);
        if (!answer)
            return false;
        dialog.FileName = *answer;
        return true;
    }
    void ErrorBox(const std::string& text) override { boxes.push_back(text); }
    void ProcessMessages() override {
        ++processed;
        if (onProcessMessages)
            onProcessMessages();
    }
    void AwaitingReply() override {
        if (onAwaitingReply)
            onAwaitingReply();
    }

    std::vector<std::string> log;
    std::vector<std::string> boxes; // the error boxes and the port layer's boxes, in order
    std::vector<OpenDialog> dialogs;
    std::optional<std::string> answer;
    std::function<void()> onProcessMessages;
    std::function<void()> onAwaitingReply;
    int clears = 0;
    int processed = 0;
};

class UploadFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulated receiver on COM3 with these options; its image goes to SimImagePath().
    void StartSim(std::vector<std::string> options = {});
    // Stops the simulator and returns every line it printed.
    std::vector<std::string> StopSim();
    std::string SimImagePath() const { return ports.PortsDir() + "/../received.bin"; }

    // Writes an image of size bytes and returns its path.
    std::string MakeImage(std::size_t size, const std::string& name = "image.bin");
    std::vector<std::string> Upload(const std::string& path);

    // The log of a run that got through the wake-up, with progress lines 1 to blocks.
    static std::vector<std::string> Established(int blocks, const std::string& last);

    TempPortsDir ports;
    std::unique_ptr<VirtualClock> clock;
    std::unique_ptr<SimProcess> sim;
    RecordingHost host;
};

// Lines of the simulator's output that start with prefix.
std::vector<std::string> LinesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix);
// The control frame codes the simulator received, in order ("0x0012", ...).
std::vector<std::string> ControlCodes(const std::vector<std::string>& lines);
