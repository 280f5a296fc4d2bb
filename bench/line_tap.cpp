// brisko-bench-line-tap: loaded into a program with LD_PRELOAD, counts what crosses its serial
// line, as LineMeter does inside brisko-bench-upload, for a program that cannot be linked with
// the meter (the desktop program as it is installed). It wraps open, read, write and close of
// the C library: a file opened by a port name (".../COM1" to ".../COM9", "/dev/ttyS...") is the
// port, and what is read from and written to it is noted in the LineTapRecord named by
// BRISKO_LINE_TAP_FILE. Every other descriptor passes straight through.
#include "line_tap.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using ReadFn = ssize_t (*)(int, void*, size_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using CloseFn = int (*)(int);

template <typename Fn> Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

std::atomic<int> portFd{-1};
LineTapRecord* record = nullptr;
std::int64_t pendingReceiptNs = 0; // a receipt not yet followed by a write

std::int64_t NowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool IsPortPath(const char* path) {
    if (path == nullptr)
        return false;
    if (std::strncmp(path, "/dev/ttyS", 9) == 0)
        return true;
    const char* name = std::strrchr(path, '/');
    name = name != nullptr ? name + 1 : path;
    return std::strlen(name) == 4 && std::strncmp(name, "COM", 3) == 0 && name[3] >= '1' &&
           name[3] <= '9';
}

void MapRecord() {
    const char* path = std::getenv(kLineTapFileVariable);
    if (path == nullptr)
        return;
    static const OpenFn realOpen = Next<OpenFn>("open");
    const int fd = realOpen(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    void* map = mmap(nullptr, sizeof(LineTapRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    Next<CloseFn>("close")(fd);
    if (map == MAP_FAILED)
        return;
    record = static_cast<LineTapRecord*>(map);
    record->magic = kLineTapMagic;
}

int NoteOpen(int fd, const char* path) {
    if (fd >= 0 && IsPortPath(path)) {
        if (record == nullptr)
            MapRecord();
        portFd.store(fd, std::memory_order_relaxed);
    }
    return fd;
}

mode_t ModeArgument(int flags, va_list args) {
    const bool hasMode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return hasMode ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    static const OpenFn real = Next<OpenFn>("open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return NoteOpen(real(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
    static const OpenFn real = Next<OpenFn>("open64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return NoteOpen(real(path, flags, mode), path);
}

int openat(int dir, const char* path, int flags, ...) {
    static const OpenAtFn real = Next<OpenAtFn>("openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return NoteOpen(real(dir, path, flags, mode), path);
}

int openat64(int dir, const char* path, int flags, ...) {
    static const OpenAtFn real = Next<OpenAtFn>("openat64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return NoteOpen(real(dir, path, flags, mode), path);
}

int close(int fd) {
    static const CloseFn real = Next<CloseFn>("close");
    if (fd == portFd.load(std::memory_order_relaxed))
        portFd.store(-1, std::memory_order_relaxed);
    return real(fd);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    static const WriteFn real = Next<WriteFn>("write");
    if (fd != portFd.load(std::memory_order_relaxed) || record == nullptr)
        return real(fd, buffer, count);
    const std::int64_t start = NowNs();
    const ssize_t n = real(fd, buffer, count);
    const int writeErrno = errno; // kept for the caller across the bookkeeping
    if (record->firstWriteNs == 0)
        record->firstWriteNs = start;
    if (pendingReceiptNs != 0) {
        if (record->turnarounds < kLineTapMaxTurnarounds)
            record->turnaroundNs[record->turnarounds] = start - pendingReceiptNs;
        ++record->turnarounds;
        pendingReceiptNs = 0;
    }
    ++record->writeCalls;
    if (n > 0) {
        record->bytesWritten += static_cast<std::uint64_t>(n);
        record->lastActivityNs = NowNs();
    }
    errno = writeErrno;
    return n;
}

ssize_t read(int fd, void* buffer, size_t count) {
    static const ReadFn real = Next<ReadFn>("read");
    if (fd != portFd.load(std::memory_order_relaxed) || record == nullptr)
        return real(fd, buffer, count);
    const ssize_t n = real(fd, buffer, count);
    const int readErrno = errno;
    ++record->readCalls;
    if (n > 0) {
        const std::int64_t now = NowNs();
        record->bytesReceived += static_cast<std::uint64_t>(n);
        record->lastReceiptNs = now;
        record->lastActivityNs = now;
        pendingReceiptNs = now;
    }
    errno = readErrno;
    return n;
}

} // extern "C"
