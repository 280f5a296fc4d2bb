#include "worker_pool.h"

#include "outcome.h"
#include "platform.h"
#include "stop_flag.h"
#include "worker.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

// Windows has no fork: the program starts itself again for each port, with a command line that
// --help never shows: --worker STOP PARENT COMINDEX NAME DEVICE IMAGE, where STOP and PARENT are
// inherited handles (the parent's stop event and its process). The worker's standard output is
// the write end of an anonymous pipe; it sends its events there, one line each. The parent reads
// each pipe on a thread of its own and hands the lines to the callbacks on its main thread. Each
// worker is a process with its own Serial object, as on POSIX systems.

namespace {

constexpr DWORD kTickMs = 100;
// A worker stops at its next frame boundary; one whose write is held up by the line is
// terminated after this.
constexpr auto kStopGrace = std::chrono::seconds(5);
constexpr const char* kWorkerFlag = "--worker";

// Set by the parent so that its console handler ends the parent's wait at once; null in a worker.
std::atomic<HANDLE> wakeEvent{nullptr};

// The console calls this on a thread of its own, in the parent and in every worker that shares
// the console: each process sets its own stop flag. A worker without the parent's console hears
// of the stop through the stop event instead.
BOOL WINAPI OnConsoleStop(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        stopRequested = 1;
        if (HANDLE event = wakeEvent.load())
            SetEvent(event);
        return TRUE;
    default:
        return FALSE;
    }
}

// One argument as the C runtime reads the command line back into argv.
std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    for (auto it = arg.begin();; ++it) {
        std::size_t backslashes = 0;
        for (; it != arg.end() && *it == '\\'; ++it)
            ++backslashes;
        if (it == arg.end()) {
            quoted.append(backslashes * 2, '\\');
            break;
        }
        if (*it == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        quoted += *it;
    }
    return quoted + '"';
}

std::string HandleArgument(HANDLE handle) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

HANDLE HandleFromArgument(const char* text) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 10)));
}

std::string OwnPath() {
    std::string path(32768, '\0');
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

void WriteAll(HANDLE out, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        if (!WriteFile(out, text.data() + done, static_cast<DWORD>(text.size() - done), &n,
                       nullptr) ||
            n == 0) {
            // The parent is gone: nobody waits for this upload, so it stops as on Ctrl+C.
            stopRequested = 1;
            return;
        }
        done += n;
    }
}

// What the reading threads hand to the main thread, under one lock: a pipe's end of file is
// only seen together with every line that came before it.
struct Inbox {
    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::string>> lines;
    std::vector<bool> ended;
};

void ReadPipe(HANDLE pipe, std::size_t index, Inbox& inbox, HANDLE wake) {
    std::string partial;
    char buffer[4096];
    for (;;) {
        DWORD n = 0;
        const bool ok = ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0;
        std::lock_guard lock(inbox.mutex);
        if (!ok) {
            inbox.ended[index] = true;
            SetEvent(wake);
            return;
        }
        partial.append(buffer, n);
        std::size_t start = 0;
        for (std::size_t nl; (nl = partial.find('\n', start)) != std::string::npos; start = nl + 1)
            inbox.lines.emplace_back(index, partial.substr(start, nl - start));
        partial.erase(0, start);
        SetEvent(wake);
    }
}

struct Worker {
    HANDLE process = nullptr;
    HANDLE pipe = nullptr; // read end, read by the thread until end of file
    std::thread reader;
    bool exited = false;
    bool reported = false;
};

// Starts the worker for one port; false when it could not be started. stop and parent are
// inheritable handles that the worker is given.
bool StartWorker(const PortTarget& port, const std::string& image, HANDLE stop, HANDLE parent,
                 Worker& worker) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        std::fprintf(stderr, "brisko-k71-flash: CreatePipe failed (error %lu)\n", GetLastError());
        return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // Standard error is shared: the worker's handle must be one it inherits.
    HANDLE errors = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                    &errors, 0, TRUE, DUPLICATE_SAME_ACCESS);

    std::string command = QuoteArgument(OwnPath()) + ' ' + kWorkerFlag + ' ' +
                          HandleArgument(stop) + ' ' + HandleArgument(parent) + ' ' +
                          std::to_string(port.comIndex) + ' ' + QuoteArgument(port.name) + ' ' +
                          QuoteArgument(port.device) + ' ' + QuoteArgument(image);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = errors;
    PROCESS_INFORMATION info{};
    // Without a console in the parent a worker gets none either, rather than a window of its own.
    const DWORD flags = GetConsoleWindow() == nullptr ? CREATE_NO_WINDOW : 0;
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags,
                                        nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    CloseHandle(writeEnd); // the worker holds the only write end: its end is the pipe's
    if (errors != nullptr)
        CloseHandle(errors);
    if (!started) {
        std::fprintf(stderr, "brisko-k71-flash: cannot start a worker (error %lu)\n", error);
        CloseHandle(readEnd);
        return false;
    }
    CloseHandle(info.hThread);
    worker.process = info.hProcess;
    worker.pipe = readEnd;
    return true;
}

// Before every read and write of the port the worker looks whether the parent asked it to stop
// or is gone; the stop is then taken at that frame boundary as on Ctrl+C. No thread is needed,
// and the port's reads come every few milliseconds.
void WatchParent(HANDLE stop, HANDLE parent) {
    PlatformApi& os = Platform();
    auto look = [stop, parent] {
        HANDLE handles[] = {stop, parent};
        if (WaitForMultipleObjects(2, handles, FALSE, 0) != WAIT_TIMEOUT)
            stopRequested = 1;
    };
    os.ReadFile = [read = os.ReadFile, look](HANDLE h, void* bytes, DWORD count, DWORD* received,
                                             void* overlapped) {
        look();
        return read(h, bytes, count, received, overlapped);
    };
    os.WriteFile = [write = os.WriteFile, look](HANDLE h, const void* bytes, DWORD count,
                                                DWORD* written, void* overlapped) {
        look();
        return write(h, bytes, count, written, overlapped);
    };
}

} // namespace

std::optional<int> RunWorkerCommand(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], kWorkerFlag) != 0)
        return std::nullopt;
    if (argc != 8)
        return exit_status::kUsage;
    HANDLE stop = HandleFromArgument(argv[2]);
    HANDLE parent = HandleFromArgument(argv[3]);
    PortTarget port;
    port.comIndex = std::atoi(argv[4]);
    port.name = argv[5];
    port.device = argv[6];
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);
    // The stop may have come while this worker was being started.
    HANDLE handles[] = {stop, parent};
    if (WaitForMultipleObjects(2, handles, FALSE, 0) != WAIT_TIMEOUT)
        stopRequested = 1;
    // Wrapped before RunWorker wraps the table again: its own look at the stop flag comes first.
    WatchParent(stop, parent);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    RunWorker(port, argv[7],
              [out](const WorkerEvent& event) { WriteAll(out, EncodeEvent(event) + "\n"); });
    return 0;
}

void RunWorkers(const std::vector<PortTarget>& ports, const std::string& image,
                const WorkerCallbacks& callbacks) {
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (wake == nullptr) {
        std::fprintf(stderr, "brisko-k71-flash: CreateEvent failed (error %lu)\n", GetLastError());
        return;
    }
    // The stop event and this process, for the workers to inherit and watch.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE stop = CreateEventA(&inherit, TRUE, FALSE, nullptr);
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                    SYNCHRONIZE, TRUE, 0);
    if (stop == nullptr || self == nullptr) {
        std::fprintf(stderr, "brisko-k71-flash: cannot make the stop event (error %lu)\n",
                     GetLastError());
        for (HANDLE h : {wake, stop, self}) {
            if (h != nullptr)
                CloseHandle(h);
        }
        return;
    }
    wakeEvent = wake;
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);

    Inbox inbox;
    inbox.ended.assign(ports.size(), false);
    std::vector<Worker> workers(ports.size());
    std::fflush(nullptr);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (StartWorker(ports[i], image, stop, self, workers[i]))
            workers[i].reader = std::thread(ReadPipe, workers[i].pipe, i, std::ref(inbox), wake);
    }
    for (std::size_t i = 0; i < workers.size(); ++i) {
        if (workers[i].process == nullptr) {
            workers[i].exited = workers[i].reported = true;
            callbacks.ended(i);
        }
    }

    bool stopping = false;
    std::chrono::steady_clock::time_point stopAt{};
    bool killed = false;
    for (;;) {
        WaitForSingleObject(wake, kTickMs);
        std::vector<std::pair<std::size_t, std::string>> lines;
        std::vector<bool> ended;
        {
            std::lock_guard lock(inbox.mutex);
            lines.swap(inbox.lines);
            ended = inbox.ended;
        }
        for (const auto& [index, line] : lines) {
            if (auto event = DecodeEvent(line))
                callbacks.event(index, *event);
        }

        bool running = false;
        for (std::size_t i = 0; i < workers.size(); ++i) {
            Worker& worker = workers[i];
            if (!worker.exited)
                worker.exited = WaitForSingleObject(worker.process, 0) == WAIT_OBJECT_0;
            // Its last events come before its end: wait for the end of file as well.
            if (worker.exited && ended[i] && !worker.reported) {
                worker.reported = true;
                callbacks.ended(i);
            }
            running = running || !worker.reported;
        }
        if (!running)
            break;

        if (stopRequested && !stopping) {
            stopping = true;
            stopAt = std::chrono::steady_clock::now();
            // A worker on this console had Ctrl+C itself; this reaches every other one.
            SetEvent(stop);
            callbacks.stopping();
        }
        if (stopping && !killed && std::chrono::steady_clock::now() - stopAt > kStopGrace) {
            killed = true;
            for (const Worker& worker : workers) {
                if (!worker.exited)
                    TerminateProcess(worker.process, 1);
            }
        }
        callbacks.tick();
    }

    for (Worker& worker : workers) {
        if (worker.reader.joinable())
            worker.reader.join();
        if (worker.pipe != nullptr)
            CloseHandle(worker.pipe);
        if (worker.process != nullptr)
            CloseHandle(worker.process);
    }
    SetConsoleCtrlHandler(OnConsoleStop, FALSE);
    wakeEvent = nullptr;
    CloseHandle(wake);
    CloseHandle(stop);
    CloseHandle(self);
}
