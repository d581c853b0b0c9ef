// Serial ports: "\\.\COMn" opens the tty that dev/COMn links to. The line is raw (every byte
// passes unchanged), the port is exclusive, the DCB maps onto termios and reads and writes honour
// COMMTIMEOUTS as a Windows serial driver does.
//
// Decisions where Windows leaves a choice to the driver:
// - A port is exclusive whatever share mode the caller asks for: a serial device has one owner.
//   The exclusion is an flock on the device, so it holds across processes too.
// - A node that is not a tty opens (reads and writes go to it as to a file), but every comm
//   function fails on it with ERROR_INVALID_FUNCTION, the code of a device that does not
//   understand a serial request; a handle of another I/O kind fails the same way.
// - A line whose peer hung up: a read returns the bytes it already has, later reads and writes
//   fail with ERROR_GEN_FAILURE (a device that stopped working).
// - FILE_FLAG_OVERLAPPED is refused (ERROR_NOT_SUPPORTED): only synchronous I/O is emulated.
#include "comm.h"
#include "devices.h"
#include "io_object.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace w95 {
namespace {

// steady_clock is CLOCK_MONOTONIC on this host: deadlines do not move with the wall clock.
using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

constexpr DWORD kMaxDword = 0xFFFFFFFF;
// Time-outs longer than this (the product of two large DWORDs) are as good as none and would
// overflow the clock's nanoseconds.
constexpr uint64_t kLongestWaitMs = uint64_t{1} << 40;

Deadline After(Clock::time_point start, uint64_t ms) {
    if (ms > kLongestWaitMs)
        return std::nullopt;
    return start + std::chrono::milliseconds(ms);
}

Deadline Earlier(Deadline a, Deadline b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

struct SpeedEntry {
    speed_t code;
    DWORD baud;
};

// The speeds of a PC serial port under Windows 95 that the host's termios can express.
constexpr SpeedEntry kSpeeds[] = {
    {B110, 110},     {B300, 300},     {B600, 600},       {B1200, 1200},
    {B2400, 2400},   {B4800, 4800},   {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200},
};

std::optional<speed_t> SpeedCode(DWORD baud) {
    for (const auto& entry : kSpeeds) {
        if (entry.baud == baud)
            return entry.code;
    }
    return std::nullopt;
}

DWORD BaudOf(speed_t code) {
    for (const auto& entry : kSpeeds) {
        if (entry.code == code)
            return entry.baud;
    }
    return 0;  // a speed set by someone else that Windows 95 has no name for
}

// Every byte passes unchanged: no echo, no line editing, no signal or flow-control characters,
// no CR/LF translation, 8 data bits, no parity, receiver on, modem lines ignored.
void MakeRaw(termios& tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP |
                                          INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// The DCB members termios has no place for keep what the caller last set; these are the values
// a freshly opened port reports.
DCB InitialSettings() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    return dcb;
}

bool ValidSettings(const DCB& dcb) {
    if (!SpeedCode(dcb.BaudRate))
        return false;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8)
        return false;
    if (dcb.Parity > SPACEPARITY)
        return false;
    // A UART sends 1.5 stop bits only with 5-bit bytes and 2 only with longer ones.
    if (dcb.StopBits > TWOSTOPBITS)
        return false;
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5)
        return false;
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5)
        return false;
    if (dcb.fDtrControl > DTR_CONTROL_HANDSHAKE)
        return false;
    if (dcb.fRtsControl == RTS_CONTROL_TOGGLE)
        return false;  // not on Windows 95/98
    if (dcb.XonChar == dcb.XoffChar)
        return false;
    return true;
}

void ApplySettings(const DCB& dcb, termios& tio) {
    MakeRaw(tio);
    speed_t speed = *SpeedCode(dcb.BaudRate);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    tio.c_cflag |= dcb.ByteSize == 5   ? CS5
                   : dcb.ByteSize == 6 ? CS6
                   : dcb.ByteSize == 7 ? CS7
                                       : CS8;
    switch (dcb.Parity) {
        case ODDPARITY:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            tio.c_cflag |= PARENB;
            break;
        case MARKPARITY:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case SPACEPARITY:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (dcb.fParity && dcb.Parity != NOPARITY)
        tio.c_iflag |= INPCK;
    if (dcb.StopBits != ONESTOPBIT)
        tio.c_cflag |= CSTOPB;
    // The host's hardware handshake covers both directions at once.
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        tio.c_cflag |= CRTSCTS;
    } else {
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    }
    if (dcb.fOutX)
        tio.c_iflag |= IXON;
    if (dcb.fInX)
        tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

DCB ReadSettings(const termios& tio, const DCB& kept) {
    DCB dcb = kept;
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = BaudOf(cfgetospeed(&tio));
    dcb.fBinary = 1;
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
    }
    if (!(tio.c_cflag & PARENB)) {
        dcb.Parity = NOPARITY;
    } else if (tio.c_cflag & CMSPAR) {
        dcb.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    } else {
        dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    }
    dcb.fParity = (tio.c_iflag & INPCK) ? 1 : 0;
    if (!(tio.c_cflag & CSTOPB)) {
        dcb.StopBits = ONESTOPBIT;
    } else {
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    if (tio.c_cflag & CRTSCTS) {
        dcb.fOutxCtsFlow = 1;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else {
        dcb.fOutxCtsFlow = 0;
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    dcb.fOutX = (tio.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return dcb;
}

// Waits until fd is ready for `events` or the deadline passes (none: no limit). Returns false on
// time-out. A hang-up or error condition counts as ready and is reported in `broken`, so the
// caller's next read or write meets it instead of polling again.
bool WaitReady(int fd, short events, Deadline deadline, bool& broken) {
    for (;;) {
        int wait_ms = -1;
        if (deadline) {
            auto now = Clock::now();
            if (now >= *deadline)
                return false;
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
            wait_ms = static_cast<int>(std::min<decltype(left)>(left, INT_MAX));
        }
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, wait_ms);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            broken = true;
            return true;
        }
        if (ready == 0)
            continue;  // the deadline check above decides
        if (entry.revents & (POLLHUP | POLLERR | POLLNVAL))
            broken = true;
        return true;
    }
}

// The test's observer of writes; empty unless a test set one.
struct WriteObserverSlot {
    std::mutex mutex;
    CommWriteObserver observer;
};

WriteObserverSlot& WriteObserver() {
    static WriteObserverSlot slot;
    return slot;
}

void ObserveWrite(const std::string& port, DWORD count) {
    auto& slot = WriteObserver();
    std::lock_guard lock(slot.mutex);
    if (slot.observer)
        slot.observer(port, count);
}

class CommPort : public IoObject {
  public:
    CommPort(int fd, std::string name, DWORD access, bool is_tty)
        : fd_(fd),
          name_(std::move(name)),
          access_(access),
          is_tty_(is_tty),
          settings_(InitialSettings()) {}
    ~CommPort() override { ::close(fd_); }
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    BOOL Read(void* buffer, DWORD count, DWORD* done) override;
    BOOL Write(const void* buffer, DWORD count, DWORD* done) override;

    BOOL GetState(DCB& dcb);
    BOOL SetState(const DCB& dcb);
    BOOL GetTimeouts(COMMTIMEOUTS& timeouts);
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
    BOOL Purge(DWORD flags);

  private:
    COMMTIMEOUTS CurrentTimeouts() {
        std::lock_guard lock(mutex_);
        return timeouts_;
    }

    const int fd_;
    const std::string name_;  // as the program named it, for the write observer
    const DWORD access_;
    const bool is_tty_;
    std::mutex mutex_;  // guards the two records below: one handle may serve several threads
    COMMTIMEOUTS timeouts_{};
    DCB settings_;
};

BOOL CommPort::Read(void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    if (!(access_ & (GENERIC_READ | GENERIC_ALL)))
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (count == 0)
        return TRUE;
    if (!buffer)
        return Fail(ERROR_NOACCESS, FALSE);

    const COMMTIMEOUTS t = CurrentTimeouts();
    const auto start = Clock::now();
    // Interval MAXDWORD with zero totals: return at once with what has arrived. Interval and
    // multiplier MAXDWORD with a constant in between: return at once with what has arrived, or
    // with the first byte to arrive within the constant.
    bool at_once = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                   t.ReadTotalTimeoutConstant == 0;
    const bool first_byte =
        t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
        t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxDword;
    Deadline total;
    if (first_byte) {
        total = After(start, t.ReadTotalTimeoutConstant);
    } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        total = After(start,
                      uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant);
    }
    // The interval time-out runs from the latest byte, once one has arrived.
    const bool use_interval = !first_byte && t.ReadIntervalTimeout != 0;

    auto* bytes = static_cast<unsigned char*>(buffer);
    DWORD got = 0;
    Clock::time_point last_byte{};
    bool broken = false;
    while (got < count) {
        ssize_t n = ::read(fd_, bytes + got, count - got);
        if (n > 0) {
            got += static_cast<DWORD>(n);
            last_byte = Clock::now();
            if (first_byte)
                at_once = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 && !is_tty_)
            break;  // end of a plain file
        if (n < 0 && errno == EAGAIN && !broken) {
            if (at_once)
                break;
            Deadline deadline = total;
            if (use_interval && got > 0) {
                deadline = Earlier(deadline, After(last_byte, t.ReadIntervalTimeout));
            }
            if (!WaitReady(fd_, POLLIN, deadline, broken))
                break;  // timed out
            continue;
        }
        // The line hung up (a tty reads 0 or EIO then) or failed: keep what already arrived.
        if (got > 0)
            break;
        return Fail(ERROR_GEN_FAILURE, FALSE);
    }
    *done = got;
    return TRUE;
}

BOOL CommPort::Write(const void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    ObserveWrite(name_, count);
    if (!(access_ & (GENERIC_WRITE | GENERIC_ALL)))
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (count == 0)
        return TRUE;
    if (!buffer)
        return Fail(ERROR_NOACCESS, FALSE);

    const COMMTIMEOUTS t = CurrentTimeouts();
    Deadline total;
    if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
        total = After(Clock::now(), uint64_t{t.WriteTotalTimeoutMultiplier} * count +
                                        t.WriteTotalTimeoutConstant);
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    DWORD sent = 0;
    bool broken = false;
    while (sent < count) {
        ssize_t n = ::write(fd_, bytes + sent, count - sent);
        if (n > 0) {
            sent += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && !broken) {
            if (!WaitReady(fd_, POLLOUT, total, broken))
                break;  // timed out
            continue;
        }
        *done = sent;
        return Fail(ERROR_GEN_FAILURE, FALSE);
    }
    *done = sent;
    return TRUE;
}

BOOL CommPort::GetState(DCB& dcb) {
    termios tio{};
    if (!is_tty_ || ::tcgetattr(fd_, &tio) != 0)
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    std::lock_guard lock(mutex_);
    dcb = ReadSettings(tio, settings_);
    return TRUE;
}

BOOL CommPort::SetState(const DCB& dcb) {
    termios tio{};
    if (!is_tty_ || ::tcgetattr(fd_, &tio) != 0)
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    if (!ValidSettings(dcb))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    ApplySettings(dcb, tio);
    // At once, not after draining: output held back by the handshake must not block the call.
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
        return Fail(ERROR_GEN_FAILURE, FALSE);
    std::lock_guard lock(mutex_);
    settings_ = dcb;
    return TRUE;
}

BOOL CommPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    if (!is_tty_)
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    timeouts = CurrentTimeouts();
    return TRUE;
}

BOOL CommPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    if (!is_tty_)
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return TRUE;
}

BOOL CommPort::Purge(DWORD flags) {
    constexpr DWORD kKnown = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    if (!is_tty_)
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    if (flags & ~kKnown)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // The abort flags have nothing to do: all I/O is synchronous, none is pending.
    const bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
    if (!rx && !tx)
        return TRUE;
    int queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(fd_, queue) != 0)
        return Fail(ERROR_GEN_FAILURE, FALSE);
    return TRUE;
}

// The port a comm function was handed; sets the error for any other handle.
std::shared_ptr<CommPort> PortFor(HANDLE handle) {
    auto object = LookupHandle(handle);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, nullptr);
    if (auto port = std::dynamic_pointer_cast<CommPort>(object))
        return port;
    if (std::dynamic_pointer_cast<IoObject>(object))
        return Fail(ERROR_INVALID_FUNCTION, nullptr);
    return Fail(ERROR_INVALID_HANDLE, nullptr);
}

DWORD OpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EBUSY:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        default:
            return ERROR_GEN_FAILURE;
    }
}

}  // namespace

void SetCommWriteObserver(CommWriteObserver observer) {
    auto& slot = WriteObserver();
    std::lock_guard lock(slot.mutex);
    slot.observer = std::move(observer);
}

HANDLE OpenCommPort(const std::filesystem::path& node, const std::string& name,
                    const OpenRequest& request) {
    if (request.flags & FILE_FLAG_OVERLAPPED)
        return Fail(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
    // Non-blocking: the open does not wait for a carrier, and reads and writes wait in poll
    // under their own deadlines.
    int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Fail(OpenError(errno), INVALID_HANDLE_VALUE);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return Fail(error == EWOULDBLOCK ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE,
                    INVALID_HANDLE_VALUE);
    }
    termios tio{};
    const bool is_tty = ::tcgetattr(fd, &tio) == 0;
    if (is_tty) {
        MakeRaw(tio);
        if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
            ::close(fd);
            return Fail(ERROR_GEN_FAILURE, INVALID_HANDLE_VALUE);
        }
    }
    HANDLE handle = AddHandle(std::make_shared<CommPort>(fd, name, request.access, is_tty));
    return handle ? handle : INVALID_HANDLE_VALUE;  // AddHandle set the error
}

}  // namespace w95

using w95::PortFor;

extern "C" BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
    auto port = PortFor(hFile);
    if (!port)
        return FALSE;
    if (!lpDCB)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    return port->GetState(*lpDCB);
}

extern "C" BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
    auto port = PortFor(hFile);
    if (!port)
        return FALSE;
    if (!lpDCB)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    return port->SetState(*lpDCB);
}

extern "C" BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    auto port = PortFor(hFile);
    if (!port)
        return FALSE;
    if (!lpCommTimeouts)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    return port->GetTimeouts(*lpCommTimeouts);
}

extern "C" BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    auto port = PortFor(hFile);
    if (!port)
        return FALSE;
    if (!lpCommTimeouts)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    return port->SetTimeouts(*lpCommTimeouts);
}

extern "C" BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags) {
    auto port = PortFor(hFile);
    if (!port)
        return FALSE;
    return port->Purge(dwFlags);
}
