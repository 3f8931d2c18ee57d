// Serial devices through termios.  The device is opened non-blocking and the
// line set raw with VMIN 0 / VTIME 0, so a read hands back at once whatever
// the driver holds.  A line change is read back after it is written:
// tcsetattr reports success when any part of a change took, so only the
// read-back shows whether the device accepted all of it.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "transport/com_port.h"
#include "transport/poll_posix.h"
#include "transport/port.h"

using transport::Fault;
using transport::LineSettings;
using transport::LinkError;

struct COMPort::Device {
    ~Device() {
        if (fd < 0) return;
        ioctl(fd, TIOCNXCL);
        close(fd);
    }

    int fd = -1;
    termios opened{};  // the line as the device had it at open
    bool applied = false;
    LineSettings line{};  // the settings written last, when `applied`
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

// Parity codes 0..4 (None, Odd, Even, Mark, Space) as termios bits.
const tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | kStickParity,
                              PARENB | kStickParity};
// Data bits 5..8.
const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
constexpr uint32_t kFewestDataBits = 5;

// Who is at fault when a device does not open.
Fault OpenFault(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
        case ENAMETOOLONG:
            return Fault::kNoDevice;
        case EBUSY:
        case EWOULDBLOCK:
            return Fault::kBusy;
        case EACCES:
        case EPERM:
        case EROFS:
            return Fault::kDenied;
        default:
            return Fault::kIo;
    }
}

bool SpeedCodeOf(uint32_t bitsPerSecond, speed_t* code) {
    for (const SpeedCode& s : kSpeeds) {
        if (s.bitsPerSecond != bitsPerSecond) continue;
        *code = s.code;
        return true;
    }
    return false;
}

// The line for `line` on top of the state the device had at open: raw
// bytes, receiver on, modem lines ignored, reads that never wait.  False
// when a setting has no termios form here.
bool BuildLine(termios tio, const LineSettings& line, termios* out) {
    speed_t speed;
    const bool known = SpeedCodeOf(line.baudRate, &speed) &&
                       line.parity >= transport::kParityNone &&
                       line.parity <= transport::kParitySpace && line.dataBits >= kFewestDataBits &&
                       line.dataBits <= 8 && line.stopBits >= transport::kOneStopBit &&
                       line.stopBits <= transport::kTwoStopBits;
    if (!known) return false;
    const tcflag_t parity = kParities[line.parity];
    if (line.parity >= transport::kParityMark && kStickParity == 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cflag &= ~(CSIZE | CSTOPB | kParityBits | kFlowBits);
    tio.c_cflag |= kSizes[line.dataBits - kFewestDataBits] | parity;
    if (line.stopBits != transport::kOneStopBit) tio.c_cflag |= CSTOPB;
    if (line.handshaking != 0) tio.c_cflag |= kFlowBits;
    tio.c_iflag &= ~kXonXoffBits;
    if (line.xonXoff != 0) tio.c_iflag |= kXonXoffBits;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    *out = tio;
    return true;
}

bool SameLine(const termios& wanted, const termios& actual) {
    constexpr tcflag_t kCflagChecked = CSIZE | CSTOPB | kParityBits | kFlowBits;
    return (wanted.c_cflag & kCflagChecked) == (actual.c_cflag & kCflagChecked) &&
           (wanted.c_iflag & kXonXoffBits) == (actual.c_iflag & kXonXoffBits) &&
           cfgetospeed(&wanted) == cfgetospeed(&actual) &&
           cfgetispeed(&wanted) == cfgetispeed(&actual);
}

bool SameSettings(const LineSettings& a, const LineSettings& b) {
    return a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits &&
           a.stopBits == b.stopBits && a.handshaking == b.handshaking && a.xonXoff == b.xonXoff;
}

bool Fail(LinkError& error, Fault fault, int systemError) {
    error = LinkError{fault, systemError};
    return false;
}

}  // namespace

COMPort::COMPort(std::unique_ptr<Device> device) : device_(std::move(device)) {}

COMPort::~COMPort() = default;

// Opens the device for this port alone.  TIOCEXCL (set once the device is
// known to be a terminal) keeps other programs out, but not a privileged one,
// so an advisory lock also marks the device taken.  Whatever fails closes
// the device again (Device's destructor), so the next attempt finds it free.
std::unique_ptr<COMPort> COMPort::Open(const char* deviceName, LinkError& error) {
    auto device = std::make_unique<Device>();
    device->fd =
        open(deviceName != nullptr ? deviceName : "", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int fd = device->fd;
    if (fd < 0) {
        error = LinkError{OpenFault(errno), errno};
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = LinkError{OpenFault(errno), errno};
        return nullptr;
    }
    // A file that is no terminal is no serial device.
    if (tcgetattr(fd, &device->opened) != 0) {
        error = LinkError{Fault::kNoDevice, errno};
        return nullptr;
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        error = LinkError{Fault::kBusy, errno};
        return nullptr;
    }
    // RTS raised, as a line without handshaking expects; lines without modem
    // signals (pseudo-terminals, some adapters) have none to raise.
    int rts = TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &rts);
    return std::unique_ptr<COMPort>(new COMPort(std::move(device)));
}

bool COMPort::ApplyLine(const LineSettings& line, LinkError& error) {
    Device& d = *device_;
    if (d.applied && SameSettings(line, d.line)) return true;
    termios wanted{};
    if (!BuildLine(d.opened, line, &wanted)) return Fail(error, Fault::kSettingRefused, EINVAL);
    d.applied = false;  // until the device is known to hold `line`
    if (tcsetattr(d.fd, TCSANOW, &wanted) != 0) return Fail(error, Fault::kSettingRefused, errno);
    termios actual{};
    if (tcgetattr(d.fd, &actual) != 0) return Fail(error, Fault::kIo, errno);
    // Partly taken: the system gives no error number for what it left out.
    if (!SameLine(wanted, actual)) return Fail(error, Fault::kSettingRefused, 0);
    d.line = line;
    d.applied = true;
    return true;
}

int COMPort::Read(uint8_t* buffer, LinkError& error) {
    const int fd = device_->fd;
    ssize_t n;
    do {
        n = read(fd, buffer, static_cast<size_t>(transport::kReadRoom));
    } while (n < 0 && errno == EINTR);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        error = LinkError{Fault::kIo, errno};
        return -1;
    }
    // With VMIN 0 an empty read also means "nothing yet"; a device that has
    // gone away shows as a hang-up on the descriptor.
    if ((PollFor(fd, POLLIN, 0) & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        error = LinkError{Fault::kIo, EIO};
        return -1;
    }
    return 0;
}

int COMPort::Write(const uint8_t* frame, LinkError& error) {
    const int fd = device_->fd;
    const int count = transport::kFrameSize;
    int done = 0;
    while (done < count) {
        ssize_t n = write(fd, frame + done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            error = LinkError{Fault::kIo, errno};
            return -1;
        }
        // The driver's buffer is full: wait for room, but not forever when
        // flow control holds the line.
        if (PollFor(fd, POLLOUT, kWriteWaitMs) == 0) break;
    }
    return done;
}

bool COMPort::WaitReadableUs(int64_t timeoutUs) {
    return transport::PollForUs(device_->fd, POLLIN, timeoutUs) != 0;
}

int COMPort::OutputQueued() {
    int queued = 0;
    if (ioctl(device_->fd, TIOCOUTQ, &queued) != 0) return -1;
    return queued;
}
