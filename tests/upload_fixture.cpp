#include "upload_fixture.h"

#include "temp_file.h"

void UploadFixture::SetUp() {
    portIndex = 2;
    Platform().MessageBoxA = [this](HWND, const char* text, const char*, UINT) {
        host.boxes.emplace_back(text);
        return 1;
    };
    clock = std::make_unique<VirtualClock>();
}

void UploadFixture::TearDown() {
    Serial.Close();
    clock.reset();
    Platform() = SystemPlatform();
    if (sim)
        sim->Stop();
}

void UploadFixture::StartSim(std::vector<std::string> options) {
    options.insert(options.end(), {"--out", SimImagePath()});
    sim = std::make_unique<SimProcess>(ports.PortsDir(), "COM3", options);
}

std::vector<std::string> UploadFixture::StopSim() {
    return sim->Stop();
}

std::string UploadFixture::MakeImage(std::size_t size, const std::string& name) {
    const std::string path = ports.PortsDir() + "/../" + name;
    WriteImageFile(path, size, static_cast<unsigned>(size));
    return path;
}

std::vector<std::string> UploadFixture::Upload(const std::string& path) {
    host.answer = path;
    UploadImage(host);
    return host.log;
}

std::vector<std::string> UploadFixture::Established(int blocks, const std::string& last) {
    std::vector<std::string> log = {"Please turn ON the IRD", "Communication established"};
    for (int n = 1; n <= blocks; ++n)
        log.push_back("Block " + std::to_string(n));
    log.push_back(last);
    return log;
}

std::vector<std::string> LinesStarting(const std::vector<std::string>& lines,
                                       const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : lines) {
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    }
    return found;
}

std::vector<std::string> ControlCodes(const std::vector<std::string>& lines) {
    std::vector<std::string> codes;
    const std::string prefix = "RX ctrl code=";
    for (const auto& line : LinesStarting(lines, prefix))
        codes.push_back(line.substr(prefix.size(), 6));
    return codes;
}
