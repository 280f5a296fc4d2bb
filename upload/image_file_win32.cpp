// The image file on Windows: a disk file opened in binary mode. Names of devices ("COM1", "CON",
// "NUL", "\\.\COM3") open the device itself there, which may block or take a port, so only a
// file that the system calls a disk file is an image, and a device's name is never opened.
#include "image_file.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace {

// Opening a device can act on it (a serial port raises its modem lines when opened), so a name
// that is no plain file is refused before it is opened. The system takes "COM1", "NUL" and the
// like for devices in any folder and with any extension, and reports ordinary attributes for
// them: its full form of such a name is in the device namespace (\\.\COM1).
bool LooksLikePlainFile(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::string name(full, length);
    if (name.rfind("\\\\.\\", 0) == 0 || name.rfind("\\\\?\\", 0) == 0)
        return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// What the open handle refers to: only a disk file that is no directory.
bool IsDiskFile(HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(file, &info) != 0 &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

} // namespace

ImageFile::~ImageFile() {
    Close();
}

bool ImageFile::Open(const std::string& path) {
    Close();
    if (!LooksLikePlainFile(path))
        return false;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // The name may have changed hands between the look and the open: judge the handle too.
    if (!IsDiskFile(file)) {
        CloseHandle(file);
        return false;
    }
    // Binary mode: in text mode a read would stop at the first 0x1A byte.
    const int f = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (f < 0) {
        CloseHandle(file);
        return false;
    }
    fd = f;
    return true;
}

std::int32_t ImageFile::Read(std::uint8_t* bytes, std::int32_t count) {
    if (fd < 0 || count <= 0)
        return 0;
    std::int32_t total = 0;
    // Only the end of the file or an error makes the result short.
    while (total < count) {
        const int n = _read(fd, bytes + total, static_cast<unsigned>(count - total));
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

std::int64_t ImageFile::Seek(std::int64_t offset, int whence) {
    return fd < 0 ? -1 : static_cast<std::int64_t>(_lseeki64(fd, offset, whence));
}

void ImageFile::Close() {
    if (fd >= 0)
        _close(fd); // closes the handle under it too
    fd = -1;
}

std::int64_t FileLength(ImageFile& file) {
    const std::int64_t position = file.Seek(0, SEEK_CUR);
    const std::int64_t size = file.Seek(0, SEEK_END);
    file.Seek(position, SEEK_SET);
    return size;
}
