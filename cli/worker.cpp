#include "worker.h"

#include "connection.h"
#include "flash_host.h"
#include "frames.h"
#include "output_drain.h"
#include "stop_flag.h"
#include "upload_image.h"

#include <chrono>
#include <cstring>
#include <optional>

namespace {

// A frame still in the port's queue at a stop goes out in its line time; 4100 bytes at 115200
// baud take 356 ms.
constexpr int kDrainLimitMs = 1000;

using Clock = std::chrono::steady_clock;

bool IsControlFrame(const void* bytes, DWORD count, std::uint16_t code) {
    const auto* b = static_cast<const std::uint8_t*>(bytes);
    return count == kControlFrameSize && std::memcmp(b, kFrameMagic, sizeof kFrameMagic) == 0 &&
           b[8] == (code >> 8) && b[9] == (code & 0xFF);
}

// What the wrapped port operations see of the run.
struct LineWatch {
    HANDLE port = INVALID_HANDLE_VALUE;
    bool announced = false; // the last write was control frame 0x0030: its block frame is next
    int wakeAttempts = 0;
    std::optional<Clock::time_point> firstWrite;
    std::uint64_t bytesOut = 0;
    std::uint64_t bytesIn = 0;
};

void WrapPlatform(const PortTarget& port, FlashHost& host, LineWatch& watch,
                  const std::function<void(const WorkerEvent&)>& send) {
    PlatformApi& os = Platform();
    if (port.comIndex < 0) {
        // The upload opens "COMn"; a port named by its device path opens that path instead.
        os.CreateFileA = [open = os.CreateFileA, device = port.device,
                          &watch](const char*, DWORD access, DWORD share, void* security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
            watch.port =
                open(device.c_str(), access, share, security, disposition, flags, templateFile);
            return watch.port;
        };
    } else {
        os.CreateFileA = [open = os.CreateFileA,
                          &watch](const char* name, DWORD access, DWORD share, void* security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
            watch.port = open(name, access, share, security, disposition, flags, templateFile);
            return watch.port;
        };
    }
    os.MessageBoxA = [send](HWND, const char* text, const char*, UINT) {
        WorkerEvent event;
        event.kind = WorkerEvent::Kind::Box;
        event.text = text != nullptr ? text : "";
        send(event);
        return 1;
    };
    // A stop is taken before any write but the block frame that an announcement promised, and
    // before any read: nothing goes out after it, and no frame is cut.
    os.WriteFile = [write = os.WriteFile, &host, &watch, send](
                       HANDLE h, const void* bytes, DWORD count, DWORD* written, void* overlapped) {
        if (stopRequested && !watch.announced)
            throw StopUpload{};
        watch.announced = IsControlFrame(bytes, count, kCodeBlock);
        if (host.Waking() && IsControlFrame(bytes, count, kCodeWake)) {
            WorkerEvent event;
            event.kind = WorkerEvent::Kind::Wake;
            event.wakeAttempt = ++watch.wakeAttempts;
            send(event);
        }
        if (!watch.firstWrite)
            watch.firstWrite = Clock::now();
        DWORD done = 0;
        const BOOL ok = write(h, bytes, count, &done, overlapped);
        watch.bytesOut += done;
        if (written != nullptr)
            *written = done;
        return ok;
    };
    os.ReadFile = [read = os.ReadFile, &watch](HANDLE h, void* bytes, DWORD count, DWORD* received,
                                               void* overlapped) {
        if (stopRequested)
            throw StopUpload{};
        DWORD got = 0;
        const BOOL ok = read(h, bytes, count, &got, overlapped);
        watch.bytesIn += got;
        if (received != nullptr)
            *received = got;
        return ok;
    };
}

} // namespace

void RunWorker(const PortTarget& port, const std::string& image,
               const std::function<void(const WorkerEvent&)>& send) {
    FlashHost host(image, send);
    LineWatch watch;
    WrapPlatform(port, host, watch, send);
    portIndex = static_cast<std::uint8_t>(port.comIndex >= 0 ? port.comIndex : 2);

    bool stopped = stopRequested != 0;
    if (!stopped) {
        try {
            UploadImage(host);
        } catch (const StopUpload&) {
            stopped = true;
        }
    }
    if (stopped && Serial.IsOpen())
        WaitForOutputSent(watch.port, kDrainLimitMs);
    Serial.Close();

    WorkerEvent end;
    end.kind = WorkerEvent::Kind::End;
    end.stopped = stopped;
    end.bytesOut = watch.bytesOut;
    end.bytesIn = watch.bytesIn;
    if (watch.firstWrite && host.AnyLine())
        end.lineSeconds =
            std::chrono::duration<double>(host.LastLineTime() - *watch.firstWrite).count();
    send(end);
}
