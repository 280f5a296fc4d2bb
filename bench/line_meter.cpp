#include "line_meter.h"

#include "platform.h"

namespace {

constexpr double kBaud = 115200.0;
constexpr double kBitsPerByte = 10.0; // start bit, 8 data bits, stop bit

} // namespace

void LineMeter::Install() {
    PlatformApi& os = Platform();
    auto write = os.WriteFile;
    os.WriteFile = [this, write](HANDLE h, const void* buffer, DWORD count, DWORD* written,
                                 void* overlapped) {
        const Clock::time_point now = Clock::now();
        if (!firstWrite_)
            firstWrite_ = now; // the first byte starts on the line now
        if (lastReceipt_) {
            turnarounds_.push_back(now - *lastReceipt_);
            lastReceipt_.reset();
        }
        DWORD done = 0;
        const BOOL ok = write(h, buffer, count, &done, overlapped);
        if (written != nullptr)
            *written = done;
        bytesWritten_ += done;
        ++writeCalls_;
        return ok;
    };
    auto read = os.ReadFile;
    os.ReadFile = [this, read](HANDLE h, void* buffer, DWORD count, DWORD* received,
                               void* overlapped) {
        DWORD got = 0;
        const BOOL ok = read(h, buffer, count, &got, overlapped);
        if (received != nullptr)
            *received = got;
        bytesReceived_ += got;
        ++readCalls_;
        if (got > 0)
            lastReceipt_ = Clock::now();
        return ok;
    };
}

double LineSeconds(std::uint64_t count) {
    return static_cast<double>(count) * kBitsPerByte / kBaud;
}
