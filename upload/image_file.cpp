#include "image_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ImageFile::~ImageFile() {
    Close();
}

bool ImageFile::Open(const std::string& path) {
    Close();
    // Opening a device can act on it (an adapter raises its modem lines when opened): anything
    // but a regular file is refused before it is opened.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // The path may name something else by now: O_NONBLOCK so that a FIFO put there cannot hang
    // the open, and the check again on what was opened.
    const int f = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (f < 0)
        return false;
    if (fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(f);
        return false;
    }
    fcntl(f, F_SETFL, fcntl(f, F_GETFL) & ~O_NONBLOCK);
    fd = f;
    return true;
}

std::int32_t ImageFile::Read(std::uint8_t* bytes, std::int32_t count) {
    if (fd < 0 || count <= 0)
        return 0;
    std::int32_t total = 0;
    // A read may return less than asked before the end of the file; only the end or an error
    // makes the result short.
    while (total < count) {
        const ssize_t n = read(fd, bytes + total, static_cast<std::size_t>(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<std::int32_t>(n);
    }
    return total;
}

std::int64_t ImageFile::Seek(std::int64_t offset, int whence) {
    return fd < 0 ? -1 : static_cast<std::int64_t>(lseek(fd, static_cast<off_t>(offset), whence));
}

void ImageFile::Close() {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

std::int64_t FileLength(ImageFile& file) {
    const std::int64_t position = file.Seek(0, SEEK_CUR);
    const std::int64_t size = file.Seek(0, SEEK_END);
    file.Seek(position, SEEK_SET);
    return size;
}
