// The image file of one upload: a regular file, read once from its first byte.
#pragma once

#include <cstdint>
#include <string>

class ImageFile {
public:
    ImageFile() = default;
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Opens path for reading. Anything but a regular file (a directory, a FIFO, a device) is
    // refused without being opened.
    bool Open(const std::string& path);
    bool IsOpen() const { return fd >= 0; }
    // Reads up to count bytes; fewer only at the end of the file or on a read error.
    std::int32_t Read(std::uint8_t* bytes, std::int32_t count);
    std::int64_t Seek(std::int64_t offset, int whence);
    void Close();

private:
    int fd = -1;
};

// The size of the file in bytes, by seeking to its end and back. 64 bits, so that a file of
// 4 GiB and more is never taken for a small one.
std::int64_t FileLength(ImageFile& file);
