#include "temp_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File OpenFile(const std::string& path, const char* mode) {
    File file(std::fopen(path.c_str(), mode), &std::fclose);
    if (!file)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    return file;
}

} // namespace

std::vector<std::uint8_t> PseudoRandomBytes(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    if (state == 0)
        state = 1; // the one state that xorshift never leaves
    for (auto& byte : bytes) {
        // xorshift32
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

void WriteImageFile(const std::string& path, std::size_t size, unsigned seed) {
    const std::vector<std::uint8_t> bytes = PseudoRandomBytes(size, seed);
    File file = OpenFile(path, "wb");
    if ((!bytes.empty() &&
         std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) ||
        std::fclose(file.release()) != 0)
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    File file = OpenFile(path, "rb");
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.insert(bytes.end(), buffer, buffer + count);
    if (std::ferror(file.get()))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}
