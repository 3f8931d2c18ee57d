// Serial devices through the Windows communications API.  The device-control
// block read at open is the base of every line state written; reads return
// at once (ReadIntervalTimeout MAXDWORD, no totals), writes keep the
// device's own time-outs.
#include <windows.h>

#include "transport/com_port.h"
#include "transport/local_time.h"
#include "transport/paced_wait.h"
#include "transport/port.h"
#include "transport/sleep_win32.h"

using transport::Fault;
using transport::LineSettings;
using transport::LinkError;

namespace {

// A wait looks at the driver's input queue at least this often: a device
// opened for synchronous reads offers no event to sleep on.
constexpr int64_t kQueuePollUs = 2000;
constexpr BYTE kFewestDataBits = 5;
constexpr BYTE kMostDataBits = 8;

// Input waiting, or a line error that the next Read is to report.
bool InputQueued(HANDLE device) {
    DWORD errors = 0;
    COMSTAT status{};
    return !ClearCommError(device, &errors, &status) || status.cbInQue > 0;
}

// Who is at fault when a device does not open.  Windows reports a COM port
// that another program holds as access denied.
Fault OpenFault(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return Fault::kNoDevice;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return Fault::kBusy;
        default:
            return Fault::kIo;
    }
}

LinkError LastError(Fault fault) {
    return LinkError{fault, static_cast<int>(GetLastError())};
}

bool SameSettings(const LineSettings& a, const LineSettings& b) {
    return a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits &&
           a.stopBits == b.stopBits && a.handshaking == b.handshaking && a.xonXoff == b.xonXoff;
}

// Reads return at once with the bytes already received, possibly none; the
// write time-outs stay the device's own.
bool MakeReadsImmediate(HANDLE device, LinkError& error) {
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(device, &timeouts)) {
        error = LastError(Fault::kNoDevice);
        return false;
    }
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(device, &timeouts)) {
        error = LastError(Fault::kSettingRefused);
        return false;
    }
    return true;
}

}  // namespace

// The handle, the line state and the wait (paced_wait.h): a wait sleeps in
// steps of kQueuePollUs (to the microsecond with a high-resolution timer, a
// tick without one) while more than a tick is left, then looks at the queue
// without sleeping.
struct COMPort::Device final : transport::WaitSystem {
    Device() : paced(sleeper.TickUs()) {}
    ~Device() override {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }

    int64_t NowUs() override { return transport::MonotonicUs(); }
    bool InputWaiting() override { return InputQueued(handle); }
    bool SleepCoarse(int64_t us) override {
        sleeper.Sleep(nullptr, us < kQueuePollUs ? us : kQueuePollUs);
        return false;
    }

    HANDLE handle = INVALID_HANDLE_VALUE;
    DCB opened{};  // the line as the device had it at open
    bool applied = false;
    LineSettings line{};  // the settings written last, when `applied`
    transport::TickSleeper sleeper;
    transport::PacedWait paced;
};

COMPort::COMPort(std::unique_ptr<Device> device) : device_(std::move(device)) {}

COMPort::~COMPort() = default;

// Exclusive access: a second open, from this or another program, fails until
// the first is closed.  Whatever fails closes the device again (Device's
// destructor), so the next attempt finds it free.
std::unique_ptr<COMPort> COMPort::Open(const char* deviceName, LinkError& error) {
    auto device = std::make_unique<Device>();
    device->handle =
        CreateFileA(deviceName != nullptr ? deviceName : "", GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (device->handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = LinkError{OpenFault(code), static_cast<int>(code)};
        return nullptr;
    }
    device->opened.DCBlength = sizeof(DCB);
    // A device without a line state is no serial device.
    if (!GetCommState(device->handle, &device->opened)) {
        error = LastError(Fault::kNoDevice);
        return nullptr;
    }
    if (!MakeReadsImmediate(device->handle, error)) return nullptr;
    return std::unique_ptr<COMPort>(new COMPort(std::move(device)));
}

// RTS raised (or handshaking), no DSR flow control; DTR control, the
// parity-checking flag and the XON/XOFF characters keep the device's values.
bool COMPort::ApplyLine(const LineSettings& line, LinkError& error) {
    Device& d = *device_;
    if (d.applied && SameSettings(line, d.line)) return true;
    const bool known = line.parity >= transport::kParityNone &&
                       line.parity <= transport::kParitySpace && line.dataBits >= kFewestDataBits &&
                       line.dataBits <= kMostDataBits && line.stopBits >= transport::kOneStopBit &&
                       line.stopBits <= transport::kTwoStopBits;
    if (!known) {
        error = LinkError{Fault::kSettingRefused, ERROR_INVALID_PARAMETER};
        return false;
    }
    DCB dcb = d.opened;
    dcb.BaudRate = line.baudRate;
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = static_cast<BYTE>(line.parity);
    dcb.StopBits = static_cast<BYTE>(line.stopBits);
    dcb.fOutxCtsFlow = line.handshaking != 0 ? TRUE : FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fRtsControl = line.handshaking != 0 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = line.xonXoff != 0 ? TRUE : FALSE;
    dcb.fInX = line.xonXoff != 0 ? TRUE : FALSE;
    d.applied = false;  // until the device is known to hold `line`
    if (!SetCommState(d.handle, &dcb)) {
        error = LastError(Fault::kSettingRefused);
        return false;
    }
    d.line = line;
    d.applied = true;
    return true;
}

int COMPort::Read(uint8_t* buffer, LinkError& error) {
    DWORD got = 0;
    if (!ReadFile(device_->handle, buffer, transport::kReadRoom, &got, nullptr)) {
        error = LastError(Fault::kIo);
        return -1;
    }
    return static_cast<int>(got);
}

int COMPort::Write(const uint8_t* frame, LinkError& error) {
    DWORD written = 0;
    if (!WriteFile(device_->handle, frame, transport::kFrameSize, &written, nullptr)) {
        error = LastError(Fault::kIo);
        return -1;
    }
    return static_cast<int>(written);
}

bool COMPort::WaitReadableUs(int64_t timeoutUs) {
    return device_->paced.Wait(*device_, timeoutUs);
}

int COMPort::OutputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(device_->handle, &errors, &status)) return -1;
    return static_cast<int>(status.cbOutQue);
}
