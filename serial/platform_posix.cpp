// The port operations over POSIX termios, with the names, arguments and results of the Win32 calls
// that CSerial is written against. A handle is a file descriptor.
#include "platform.h"
#include "port_names.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
// A read that finds nothing waits this long for a first byte, so that Read's polling loop sleeps
// instead of spinning. Data ends the wait at once; a 1 ms wait still cost about 2.7% of a core
// through a silent wake-up, 10 ms costs under 0.5% and lets a 2000 ms read run at most 10 ms over.
constexpr int kIdleWaitMs = 10;

// What the layer keeps per open handle: the time-outs and an error seen since the last clear.
struct PortState {
    COMMTIMEOUTS timeouts{};
    bool lineGone = false;
};

std::map<int, PortState>& Ports() {
    static auto* ports = new std::map<int, PortState>();
    return *ports;
}

int Fd(HANDLE h) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(h));
}
HANDLE ToHandle(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

PortState* Find(HANDLE h) {
    auto it = Ports().find(Fd(h));
    return it == Ports().end() ? nullptr : &it->second;
}

std::uint64_t NowMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

// Sleeps until `since` + the idle wait: a read that returns nothing never returns sooner, so a
// polling loop cannot spin on a line that has gone away.
void FinishIdleWait(std::uint64_t since) {
    const std::uint64_t until = since + static_cast<std::uint64_t>(kIdleWaitMs) * 1000u;
    const std::uint64_t now = NowMicroseconds();
    if (now >= until)
        return;
    timespec ts{0, static_cast<long>((until - now) * 1000u)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

struct BaudEntry {
    DWORD baud;
    speed_t speed;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(DWORD baud, speed_t& speed) {
    for (const auto& e : kBauds) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

DWORD BaudOf(speed_t speed) {
    for (const auto& e : kBauds) {
        if (e.speed == speed)
            return e.baud;
    }
    return 0;
}

// A ttyS node with no UART behind it opens, but the kernel reports its type as unknown.
bool IsPortWithoutUart(int fd) {
#ifdef __linux__
    serial_struct info{};
    return ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
#else
    (void)fd;
    return false;
#endif
}

// The modem-line ioctls fail this way on a pseudo-terminal, which has no such lines.
bool NoModemLines(int err) {
    return err == EINVAL || err == ENOTTY || err == ENOTSUP || err == ENOSYS;
}

BOOL PosixGetVersionEx(OSVERSIONINFOA* info) {
    if (info == nullptr)
        return kFalse;
    info->dwMajorVersion = 0;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT; // writes go out in one call
    info->szCSDVersion[0] = '\0';
    return kTrue;
}

HANDLE PosixCreateFile(const char* name, DWORD access, DWORD shareMode, void*, DWORD, DWORD,
                       HANDLE) {
    const std::string path = PortDevicePath(name != nullptr ? name : "");
    if (path.empty())
        return INVALID_HANDLE_VALUE;
    int mode = O_RDONLY;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        mode = O_RDWR;
    else if (access & GENERIC_WRITE)
        mode = O_WRONLY;
    // O_NONBLOCK: neither waiting for carrier on open nor blocking later; a FIFO opens at once.
    const int fd = open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    bool usable = !IsPortWithoutUart(fd);
    if (usable && shareMode == 0) {
        // flock keeps out other processes (and ourselves) even as root, whom TIOCEXCL does not
        // stop; TIOCEXCL keeps out programs that do not lock. Neither alone is enough.
        usable = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (usable && ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL)
            usable = false;
    }
    if (!usable) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    Ports()[fd] = PortState{};
    return ToHandle(fd);
}

BOOL PosixSetupComm(HANDLE h, DWORD, DWORD) {
    // The kernel sizes its own queues; the call only has to see a valid port.
    return Find(h) != nullptr ? kTrue : kFalse;
}

BOOL PosixGetCommTimeouts(HANDLE h, COMMTIMEOUTS* timeouts) {
    PortState* port = Find(h);
    if (port == nullptr || timeouts == nullptr)
        return kFalse;
    *timeouts = port->timeouts;
    return kTrue;
}

BOOL PosixSetCommTimeouts(HANDLE h, COMMTIMEOUTS* timeouts) {
    PortState* port = Find(h);
    if (port == nullptr || timeouts == nullptr)
        return kFalse;
    port->timeouts = *timeouts;
    return kTrue;
}

BOOL PosixGetCommState(HANDLE h, DCB* dcb) {
    termios tio{};
    if (Find(h) == nullptr || dcb == nullptr || tcgetattr(Fd(h), &tio) != 0)
        return kFalse;
    *dcb = DCB{};
    dcb->DCBlength = sizeof(DCB);
    dcb->BaudRate = BaudOf(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        dcb->ByteSize = 5;
        break;
    case CS6:
        dcb->ByteSize = 6;
        break;
    case CS7:
        dcb->ByteSize = 7;
        break;
    default:
        dcb->ByteSize = 8;
        break;
    }
    dcb->Parity = NOPARITY;
    if (tio.c_cflag & PARENB) {
        const bool odd = (tio.c_cflag & PARODD) != 0;
#ifdef CMSPAR
        if (tio.c_cflag & CMSPAR)
            dcb->Parity = odd ? MARKPARITY : SPACEPARITY;
        else
#endif
            dcb->Parity = odd ? ODDPARITY : EVENPARITY;
    }
    dcb->fParity = (tio.c_cflag & PARENB) ? 1 : 0;
    dcb->StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    int lines = 0;
    dcb->fRtsControl = (ioctl(Fd(h), TIOCMGET, &lines) == 0 && !(lines & TIOCM_RTS))
                           ? RTS_CONTROL_DISABLE
                           : RTS_CONTROL_ENABLE;
    return kTrue;
}

// Reads "[device:]baud,parity,data,stop", as in "COM3:115200,N,8,1".
BOOL PosixBuildCommDCB(const char* mode, DCB* dcb) {
    if (mode == nullptr || dcb == nullptr)
        return kFalse;
    const char* p = mode;
    if (const char* colon = std::strchr(mode, ':'))
        p = colon + 1;
    while (*p == ' ')
        ++p;

    unsigned long baud = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 9; ++p, ++digits)
        baud = baud * 10 + static_cast<unsigned long>(*p - '0');
    speed_t speed{};
    if (digits == 0 || (*p >= '0' && *p <= '9') || !SpeedOf(static_cast<DWORD>(baud), speed))
        return kFalse;

    if (*p++ != ',')
        return kFalse;
    std::uint8_t parity = 0;
    switch (*p++) {
    case 'N':
    case 'n':
        parity = NOPARITY;
        break;
    case 'E':
    case 'e':
        parity = EVENPARITY;
        break;
    case 'O':
    case 'o':
        parity = ODDPARITY;
        break;
    case 'M':
    case 'm':
        parity = MARKPARITY;
        break;
    case 'S':
    case 's':
        parity = SPACEPARITY;
        break;
    default:
        return kFalse;
    }

    if (*p++ != ',' || *p < '5' || *p > '8')
        return kFalse;
    const auto byteSize = static_cast<std::uint8_t>(*p++ - '0');

    if (*p++ != ',')
        return kFalse;
    std::uint8_t stopBits = 0;
    if (std::strncmp(p, "1.5", 3) == 0) {
        stopBits = ONE5STOPBITS;
        p += 3;
    } else if (*p == '1') {
        stopBits = ONESTOPBIT;
        ++p;
    } else if (*p == '2') {
        stopBits = TWOSTOPBITS;
        ++p;
    } else {
        return kFalse;
    }
    while (*p == ' ')
        ++p;
    if (*p != '\0')
        return kFalse;

    dcb->BaudRate = static_cast<DWORD>(baud);
    dcb->Parity = parity;
    dcb->fParity = parity != NOPARITY ? 1 : 0;
    dcb->ByteSize = byteSize;
    dcb->StopBits = stopBits;
    return kTrue;
}

BOOL PosixSetCommState(HANDLE h, DCB* dcb) {
    const int fd = Fd(h);
    termios tio{};
    speed_t speed{};
    if (Find(h) == nullptr || dcb == nullptr || tcgetattr(fd, &tio) != 0 ||
        !SpeedOf(dcb->BaudRate, speed) || dcb->ByteSize < 5 || dcb->ByteSize > 8)
        return kFalse;

    // Raw 8-bit line: no echo, no line editing, no translation, no software or hardware flow
    // control, reads that return at once with what has arrived.
    tio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    tio.c_cflag &= ~CMSPAR;
#endif
    tio.c_cflag |= CLOCAL | CREAD;
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[dcb->ByteSize - 5];
    switch (dcb->Parity) {
    case NOPARITY:
        break;
    case EVENPARITY:
        tio.c_cflag |= PARENB;
        break;
    case ODDPARITY:
        tio.c_cflag |= PARENB | PARODD;
        break;
#ifdef CMSPAR
    case MARKPARITY:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case SPACEPARITY:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
#endif
    default:
        return kFalse;
    }
    if (dcb->StopBits != ONESTOPBIT)
        tio.c_cflag |= CSTOPB; // 1.5 stop bits exist only as 2 here
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0)
        return kFalse;
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return kFalse;

    // tcsetattr succeeds when any one change took: read the line back and compare.
    termios check{};
    const tcflag_t kept = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
    if (tcgetattr(fd, &check) != 0 || (check.c_cflag & kept) != (tio.c_cflag & kept) ||
        (check.c_lflag & ICANON) || cfgetospeed(&check) != speed)
        return kFalse;

    const int rts = TIOCM_RTS;
    const unsigned long request = dcb->fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS;
    if (ioctl(fd, request, &rts) != 0 && !NoModemLines(errno))
        return kFalse;
    return kTrue;
}

BOOL PosixPurgeComm(HANDLE h, DWORD flags) {
    if (Find(h) == nullptr)
        return kFalse;
    const bool rx = (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0;
    const bool tx = (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0;
    if (!rx && !tx)
        return kTrue;
    return tcflush(Fd(h), rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) == 0 ? kTrue : kFalse;
}

BOOL PosixClearCommError(HANDLE h, DWORD* errors, void*) {
    PortState* port = Find(h);
    if (errors != nullptr)
        *errors = 0;
    if (port == nullptr)
        return kFalse;
    port->lineGone = false;
    return kTrue;
}

BOOL PosixReadFile(HANDLE h, void* buffer, DWORD count, DWORD* received, void*) {
    const std::uint64_t start = NowMicroseconds();
    if (received != nullptr)
        *received = 0;
    PortState* port = Find(h);
    if (port == nullptr) {
        FinishIdleWait(start);
        return kFalse;
    }
    if (count == 0)
        return kTrue;
    const int fd = Fd(h);
    auto readOnce = [&]() {
        ssize_t n;
        do {
            n = read(fd, buffer, count);
        } while (n < 0 && errno == EINTR);
        return n;
    };

    // Wait for the first byte on the line itself, briefly, so that the caller's polling loop
    // does not spin; return as soon as a byte is there. A raw line with VMIN = VTIME = 0 reads 0
    // when nothing has arrived: only an error such as EIO, or a hang-up that poll reports, means
    // the device has gone away.
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, kIdleWaitMs);
    ssize_t n = 0;
    bool gone = ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (ready > 0 && (p.revents & POLLIN)) {
        n = readOnce();
        gone = gone || (n < 0 && errno != EAGAIN);
    }
    if (n > 0) {
        if (received != nullptr)
            *received = static_cast<DWORD>(n);
        return kTrue;
    }
    if (gone)
        port->lineGone = true;
    // A line that has gone away reports itself at once, every time: the wait must still pass.
    FinishIdleWait(start);
    return gone ? kFalse : kTrue;
}

BOOL PosixWriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* written, void*) {
    if (written != nullptr)
        *written = 0;
    PortState* port = Find(h);
    if (port == nullptr)
        return kFalse;
    const int fd = Fd(h);
    // Both zero means no time-out, as with the system's own calls.
    const std::uint64_t limitMs =
        static_cast<std::uint64_t>(port->timeouts.WriteTotalTimeoutMultiplier) * count +
        port->timeouts.WriteTotalTimeoutConstant;
    const std::uint64_t deadline = NowMicroseconds() + limitMs * 1000u;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    DWORD done = 0;
    bool failed = false;
    while (done < count) {
        const ssize_t n = write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            port->lineGone = true;
            failed = true;
            break;
        }
        int waitMs = -1;
        if (limitMs != 0) {
            const std::uint64_t now = NowMicroseconds();
            if (now >= deadline)
                break;
            waitMs = static_cast<int>((deadline - now + 999) / 1000);
        }
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, waitMs) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            port->lineGone = true;
            failed = true;
            break;
        }
    }
    if (written != nullptr)
        *written = done;
    // A write whose time-out ran out still succeeds, with what was taken: only a line that has
    // gone away fails.
    return failed ? kFalse : kTrue;
}

BOOL PosixCloseHandle(HANDLE h) {
    const int fd = Fd(h);
    if (Ports().erase(fd) == 0)
        return kFalse;
    ioctl(fd, TIOCNXCL); // the exclusive mark would otherwise outlive this descriptor
    return close(fd) == 0 ? kTrue : kFalse;
}

DWORD PosixGetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms); // wraps like the system's tick counter
}

int PosixMessageBox(HWND, const char* text, const char*, UINT) {
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
    return 1; // OK
}

} // namespace

PlatformApi SystemPlatform() {
    PlatformApi api;
    api.GetVersionExA = PosixGetVersionEx;
    api.CreateFileA = PosixCreateFile;
    api.SetupComm = PosixSetupComm;
    api.GetCommTimeouts = PosixGetCommTimeouts;
    api.SetCommTimeouts = PosixSetCommTimeouts;
    api.GetCommState = PosixGetCommState;
    api.BuildCommDCBA = PosixBuildCommDCB;
    api.SetCommState = PosixSetCommState;
    api.PurgeComm = PosixPurgeComm;
    api.ClearCommError = PosixClearCommError;
    api.ReadFile = PosixReadFile;
    api.WriteFile = PosixWriteFile;
    api.CloseHandle = PosixCloseHandle;
    api.GetTickCount = PosixGetTickCount;
    api.MessageBoxA = PosixMessageBox;
    return api;
}
