// Serial devices through termios.  The device is opened non-blocking and in
// raw mode with VMIN 0 / VTIME 0, so a read hands back at once whatever the
// driver holds.  Each line change is read back after it is written: tcsetattr
// reports success when any part of a change took, so only the read-back shows
// whether the device accepted all of it.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

#include "transport/com_port.h"
#include "transport/poll_posix.h"

struct COMPort::LineState {
    termios tio;
};

namespace {

using transport::PollFor;

constexpr int kWriteWaitMs = 1000;

// CMSPAR ("stick" parity) gives mark and space parity where the OS has it.
#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif
constexpr tcflag_t kParityBits = PARENB | PARODD | kStickParity;
constexpr tcflag_t kFlowBits = CRTSCTS;
constexpr tcflag_t kXonXoffBits = IXON | IXOFF;

struct SpeedCode {
    uint32_t bitsPerSecond;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800}, {921600, B921600},
#endif
};

[[noreturn]] void Raise(const char* text) {
    throw std::runtime_error(text);
}

int Fd(intptr_t handle) {
    return static_cast<int>(handle);
}

bool SameLine(const termios& wanted, const termios& actual) {
    constexpr tcflag_t kCflagChecked = CSIZE | CSTOPB | kParityBits | kFlowBits;
    return (wanted.c_cflag & kCflagChecked) == (actual.c_cflag & kCflagChecked) &&
           (wanted.c_iflag & kXonXoffBits) == (actual.c_iflag & kXonXoffBits) &&
           cfgetospeed(&wanted) == cfgetospeed(&actual) &&
           cfgetispeed(&wanted) == cfgetispeed(&actual);
}

// Writes the whole line state and confirms the device took it.
bool WriteLine(int fd, const termios& wanted) {
    if (tcsetattr(fd, TCSANOW, &wanted) != 0) return false;
    termios actual{};
    return tcgetattr(fd, &actual) == 0 && SameLine(wanted, actual);
}

void WriteLineOrRaise(int fd, const termios& wanted) {
    if (!WriteLine(fd, wanted)) Raise(transport::kComStateRefused);
}

// Opens the device for this port alone.  TIOCEXCL (set once the device is
// known to be a terminal) keeps other programs out, but not a privileged one,
// so an advisory lock also marks the device taken.
int OpenExclusive(const char* name) {
    int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) Raise(transport::kComOpenFailed);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        Raise(transport::kComOpenFailed);
    }
    return fd;
}

// Raw bytes, receiver on, modem lines ignored, and reads that never wait.
termios BaseLine(termios tio) {
    cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tio;
}

}  // namespace

COMPort::COMPort(const char* deviceName) : handle(-1) {
    int fd = OpenExclusive(deviceName != nullptr ? deviceName : "");
    // Whatever fails from here closes the device again, so that the next
    // attempt finds it free.
    try {
        dcb.reset(new LineState{});
        if (tcgetattr(fd, &dcb->tio) != 0) Raise(transport::kComStateUnreadable);
        if (ioctl(fd, TIOCEXCL) != 0) Raise(transport::kComOpenFailed);
        dcb->tio = BaseLine(dcb->tio);
        if (!WriteLine(fd, dcb->tio)) Raise(transport::kComTimeoutsRefused);
        // The base state, one change at a time as the device is told.
        dcb->tio.c_cflag = (dcb->tio.c_cflag & ~CSIZE) | CS8;
        WriteLineOrRaise(fd, dcb->tio);
        dcb->tio.c_cflag &= ~kFlowBits;
        WriteLineOrRaise(fd, dcb->tio);
        dcb->tio.c_cflag &= ~kParityBits;
        WriteLineOrRaise(fd, dcb->tio);
        dcb->tio.c_cflag &= ~CSTOPB;
        WriteLineOrRaise(fd, dcb->tio);
        dcb->tio.c_iflag &= ~kXonXoffBits;
        WriteLineOrRaise(fd, dcb->tio);
    } catch (...) {
        dcb.reset();
        ioctl(fd, TIOCNXCL);
        close(fd);
        throw;
    }
    // RTS raised, as a line without handshaking expects; lines without modem
    // signals (pseudo-terminals, some adapters) have none to raise.
    int rts = TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &rts);
    handle = fd;
}

COMPort::~COMPort() {
    dcb.reset();
    ioctl(Fd(handle), TIOCNXCL);
    close(Fd(handle));
}

void COMPort::SetBaudRate(uint32_t speed) {
    for (const SpeedCode& s : kSpeeds) {
        if (s.bitsPerSecond != speed) continue;
        cfsetispeed(&dcb->tio, s.code);
        cfsetospeed(&dcb->tio, s.code);
        WriteLineOrRaise(Fd(handle), dcb->tio);
        return;
    }
    Raise(transport::kComStateRefused);
}

void COMPort::SetParity(uint8_t parity) {
    tcflag_t bits;
    switch (parity) {
        case transport::kParityNone:
            bits = 0;
            break;
        case transport::kParityOdd:
            bits = PARENB | PARODD;
            break;
        case transport::kParityEven:
            bits = PARENB;
            break;
        case transport::kParityMark:
            bits = PARENB | PARODD | kStickParity;
            break;
        case transport::kParitySpace:
            bits = PARENB | kStickParity;
            break;
        default:
            Raise(transport::kComStateRefused);
    }
    if ((bits & PARENB) != 0 && parity >= transport::kParityMark && kStickParity == 0) {
        Raise(transport::kComStateRefused);
    }
    dcb->tio.c_cflag = (dcb->tio.c_cflag & ~kParityBits) | bits;
    WriteLineOrRaise(Fd(handle), dcb->tio);
}

void COMPort::SetDataBits(uint8_t dataBits) {
    tcflag_t size;
    switch (dataBits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            Raise(transport::kComStateRefused);
    }
    dcb->tio.c_cflag = (dcb->tio.c_cflag & ~CSIZE) | size;
    WriteLineOrRaise(Fd(handle), dcb->tio);
}

void COMPort::SetStopBits(uint8_t stopBits) {
    if (stopBits == transport::kOneStopBit) {
        dcb->tio.c_cflag &= ~CSTOPB;
    } else if (stopBits == transport::kOneAndHalfStopBits || stopBits == transport::kTwoStopBits) {
        dcb->tio.c_cflag |= CSTOPB;
    } else {
        Raise(transport::kComStateRefused);
    }
    WriteLineOrRaise(Fd(handle), dcb->tio);
}

void COMPort::SetHandshaking(uint8_t on) {
    if (on != 0) {
        dcb->tio.c_cflag |= kFlowBits;
    } else {
        dcb->tio.c_cflag &= ~kFlowBits;
    }
    WriteLineOrRaise(Fd(handle), dcb->tio);
}

void COMPort::SetXonXoff(uint8_t on) {
    if (on != 0) {
        dcb->tio.c_iflag |= kXonXoffBits;
    } else {
        dcb->tio.c_iflag &= ~kXonXoffBits;
    }
    WriteLineOrRaise(Fd(handle), dcb->tio);
}

int COMPort::Read(uint8_t* buffer, int room) {
    ssize_t n;
    do {
        n = read(Fd(handle), buffer, static_cast<size_t>(room));
    } while (n < 0 && errno == EINTR);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) Raise(transport::kComReadFailed);
    // With VMIN 0 an empty read also means "nothing yet"; a device that has
    // gone away shows as a hang-up on the descriptor.
    if ((PollFor(Fd(handle), POLLIN, 0) & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        Raise(transport::kComReadFailed);
    }
    return 0;
}

int COMPort::Write(const uint8_t* bytes, int count) {
    int done = 0;
    while (done < count) {
        ssize_t n = write(Fd(handle), bytes + done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            Raise(transport::kComWriteFailed);
        }
        // The driver's buffer is full: wait for room, but not forever when
        // flow control holds the line.
        if (PollFor(Fd(handle), POLLOUT, kWriteWaitMs) == 0) break;
    }
    return done;
}

bool COMPort::WaitReadableUs(int64_t timeoutUs) {
    return transport::PollForUs(Fd(handle), POLLIN, timeoutUs) != 0;
}

int COMPort::OutputQueued() {
    int queued = 0;
    if (ioctl(Fd(handle), TIOCOUTQ, &queued) != 0) return -1;
    return queued;
}
