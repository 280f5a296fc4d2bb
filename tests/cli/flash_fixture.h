// Runs brisko-k71-flash against simulated receivers on COM1 to COM4 of a private port mapping.
#pragma once

#include "flash_process.h"
#include "sim_process.h"
#include "temp_ports.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

class FlashFixture : public testing::Test {
public: // the tables of cases prepare their runs through it
    // Starts a simulated receiver linked as port ("COM1"), with these options; the image it
    // receives goes to Received(port).
    SimProcess& StartSim(const std::string& port, std::vector<std::string> options = {});
    std::string Received(const std::string& port) const {
        return ports.Root() + "/received-" + port + ".bin";
    }
    // Writes an image of size bytes and returns its path.
    std::string MakeImage(std::size_t size, const std::string& name = "image.bin");
    // The image as the receiver stores it: the first block frame carries 4080 bytes at least.
    static std::vector<std::uint8_t> AsReceived(const std::string& image);

    // The receiver on port holds the image byte for byte.
    void ExpectReceived(const std::string& port, const std::string& image);

    TempPortsDir ports;
    std::vector<std::shared_ptr<void>> keep; // what a case holds until its end
    std::map<std::string, std::unique_ptr<SimProcess>> sims;
};

// The log of a run that got through the wake-up, with progress lines 1 to blocks, each line
// after prefix.
std::vector<std::string> EstablishedLog(int blocks, const std::string& last,
                                        const std::string& prefix = "");
// The lines that start with prefix.
std::vector<std::string> Starting(const std::vector<std::string>& lines, const std::string& prefix);
