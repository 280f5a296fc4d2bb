// The image file on Windows: every byte value comes back as written (binary mode), sizes are 64
// bits wide, and names of devices are refused without blocking.
#include "image_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A file in the temporary directory, removed at the end of the test.
class TempFile {
public:
    TempFile() {
        char directory[MAX_PATH] = {};
        char name[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, directory);
        GetTempFileNameA(directory, "brk", 0, name);
        path = name;
    }
    ~TempFile() { DeleteFileA(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Write(const std::vector<std::uint8_t>& bytes) const {
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(written, bytes.size());
    }

    // Makes the file size bytes long without writing them.
    void Extend(std::int64_t size) const {
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end{};
        end.QuadPart = size;
        const bool extended =
            SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        ASSERT_TRUE(extended);
    }

    std::string path;
};

TEST(ImageFileWindows, ReadsEveryByteValueUnchanged) {
    // 0x1A would end a text-mode read, and 0x0D 0x0A pairs would be folded.
    std::vector<std::uint8_t> bytes;
    for (int round = 0; round < 40; ++round) {
        for (int value = 0; value < 256; ++value)
            bytes.push_back(static_cast<std::uint8_t>(value));
        bytes.push_back(0x0D);
        bytes.push_back(0x0A);
        bytes.push_back(0x1A);
    }
    TempFile image;
    image.Write(bytes);

    ImageFile file;
    ASSERT_TRUE(file.Open(image.path));
    EXPECT_EQ(FileLength(file), static_cast<std::int64_t>(bytes.size()));
    std::vector<std::uint8_t> read(bytes.size() + 10, 0);
    EXPECT_EQ(file.Read(read.data(), static_cast<std::int32_t>(read.size())),
              static_cast<std::int32_t>(bytes.size()));
    read.resize(bytes.size());
    EXPECT_EQ(read, bytes);
}

TEST(ImageFileWindows, MeasuringKeepsThePosition) {
    TempFile image;
    image.Write(std::vector<std::uint8_t>(5000, 0x1A));
    ImageFile file;
    ASSERT_TRUE(file.Open(image.path));
    std::uint8_t piece[100];
    ASSERT_EQ(file.Read(piece, 100), 100);
    EXPECT_EQ(FileLength(file), 5000);
    EXPECT_EQ(file.Seek(0, SEEK_CUR), 100);
}

TEST(ImageFileWindows, SizesPastFourGibibytesAreMeasuredInFull) {
    constexpr std::int64_t kSize = (std::int64_t{1} << 32) + 1; // 4 GiB and one byte
    TempFile image;
    image.Extend(kSize);
    ImageFile file;
    ASSERT_TRUE(file.Open(image.path));
    EXPECT_EQ(FileLength(file), kSize);
}

// Names that the system takes for devices, and things that are no file.
class NotAnImage : public testing::TestWithParam<const char*> {};

TEST_P(NotAnImage, IsRefused) {
    ImageFile file;
    EXPECT_FALSE(file.Open(GetParam()));
    EXPECT_FALSE(file.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(DevicesAndDirectories, NotAnImage,
                         testing::Values("COM1", "COM3", "CON", "NUL", "nul.bin", "AUX", "PRN",
                                         "LPT1", "CONIN$", "C:\\windows\\com1.bin", "\\\\.\\COM3",
                                         "\\\\.\\NUL", "\\\\.\\pipe\\brisko-none", ".",
                                         "C:\\windows", "no-such-image.bin", ""));

} // namespace
