#include "flash_fixture.h"

#include "temp_file.h"

SimProcess& FlashFixture::StartSim(const std::string& port, std::vector<std::string> options) {
    options.insert(options.end(), {"--out", Received(port)});
    auto sim = std::make_unique<SimProcess>(ports.PortsDir(), port, options);
    SimProcess& ref = *sim;
    sims[port] = std::move(sim);
    return ref;
}

std::string FlashFixture::MakeImage(std::size_t size, const std::string& name) {
    const std::string path = ports.Root() + "/" + name;
    WriteImageFile(path, size, static_cast<unsigned>(size));
    return path;
}

std::vector<std::uint8_t> FlashFixture::AsReceived(const std::string& image) {
    std::vector<std::uint8_t> bytes = ReadWholeFile(image);
    if (bytes.size() < 4080)
        bytes.resize(4080, 0xFF);
    return bytes;
}

void FlashFixture::ExpectReceived(const std::string& port, const std::string& image) {
    sims.at(port)->Stop();
    EXPECT_EQ(ReadWholeFile(Received(port)), AsReceived(image)) << port;
}

std::vector<std::string> EstablishedLog(int blocks, const std::string& last,
                                        const std::string& prefix) {
    std::vector<std::string> log = {prefix + "Please turn ON the IRD",
                                    prefix + "Communication established"};
    for (int n = 1; n <= blocks; ++n)
        log.push_back(prefix + "Block " + std::to_string(n));
    log.push_back(prefix + last);
    return log;
}

std::vector<std::string> Starting(const std::vector<std::string>& lines,
                                  const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    }
    return found;
}
