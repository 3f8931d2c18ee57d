// Serial devices through the Windows communications API.  The device-control
// block is read once at open and every change is made in it first, then the
// whole block is written to the device.
#include <windows.h>

#include <stdexcept>

#include "transport/com_port.h"
#include "transport/local_time.h"
#include "transport/paced_wait.h"
#include "transport/sleep_win32.h"

namespace {

// A wait looks at the driver's input queue at least this often: a device
// opened for synchronous reads offers no event to sleep on.
constexpr int64_t kQueuePollUs = 2000;

// Input waiting, or a line error that the next Read is to report.
bool InputQueued(HANDLE device) {
    DWORD errors = 0;
    COMSTAT status{};
    return !ClearCommError(device, &errors, &status) || status.cbInQue > 0;
}

}  // namespace

// Waits at the line's pace (paced_wait.h): sleeps in steps of kQueuePollUs
// (to the microsecond with a high-resolution timer, a tick without one) while
// more than a tick is left, then looks at the queue without sleeping.
struct COMPort::LineState final : transport::WaitSystem {
    explicit LineState() : paced(sleeper.TickUs()) {}

    int64_t NowUs() override { return transport::MonotonicUs(); }
    bool InputWaiting() override { return InputQueued(device); }
    bool SleepCoarse(int64_t us) override {
        sleeper.Sleep(nullptr, us < kQueuePollUs ? us : kQueuePollUs);
        return false;
    }

    DCB dcb{};
    HANDLE device = INVALID_HANDLE_VALUE;
    transport::TickSleeper sleeper;
    transport::PacedWait paced;
};

namespace {

[[noreturn]] void Raise(const char* text) {
    throw std::runtime_error(text);
}

HANDLE Device(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

void WriteState(HANDLE device, DCB* dcb) {
    if (!SetCommState(device, dcb)) Raise(transport::kComStateRefused);
}

// Reads return at once with the bytes already received, possibly none; the
// write time-outs stay the device's own.
void MakeReadsImmediate(HANDLE device) {
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(device, &timeouts)) Raise(transport::kComTimeoutsUnreadable);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(device, &timeouts)) Raise(transport::kComTimeoutsRefused);
}

// 8 data bits, RTS raised without handshake, no parity, one stop bit, no
// XON/XOFF: each written before the next, as the device is told.
void ApplyBaseState(HANDLE device, DCB* dcb) {
    dcb->ByteSize = 8;
    WriteState(device, dcb);
    dcb->fOutxCtsFlow = FALSE;
    dcb->fOutxDsrFlow = FALSE;
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
    WriteState(device, dcb);
    dcb->Parity = NOPARITY;
    WriteState(device, dcb);
    dcb->StopBits = ONESTOPBIT;
    WriteState(device, dcb);
    dcb->fOutX = FALSE;
    dcb->fInX = FALSE;
    WriteState(device, dcb);
}

}  // namespace

COMPort::COMPort(const char* deviceName) : handle(0) {
    HANDLE device =
        CreateFileA(deviceName != nullptr ? deviceName : "", GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (device == INVALID_HANDLE_VALUE) Raise(transport::kComOpenFailed);
    // Whatever fails from here closes the device again, so that the next
    // attempt finds it free.
    try {
        dcb.reset(new LineState);
        dcb->device = device;
        dcb->dcb.DCBlength = sizeof(DCB);
        if (!GetCommState(device, &dcb->dcb)) Raise(transport::kComStateUnreadable);
        MakeReadsImmediate(device);
        ApplyBaseState(device, &dcb->dcb);
    } catch (...) {
        dcb.reset();
        CloseHandle(device);
        throw;
    }
    handle = reinterpret_cast<intptr_t>(device);
}

COMPort::~COMPort() {
    dcb.reset();
    CloseHandle(Device(handle));
}

void COMPort::SetBaudRate(uint32_t speed) {
    dcb->dcb.BaudRate = speed;
    WriteState(Device(handle), &dcb->dcb);
}

void COMPort::SetParity(uint8_t parity) {
    dcb->dcb.Parity = parity;
    WriteState(Device(handle), &dcb->dcb);
}

void COMPort::SetDataBits(uint8_t dataBits) {
    dcb->dcb.ByteSize = dataBits;
    WriteState(Device(handle), &dcb->dcb);
}

void COMPort::SetStopBits(uint8_t stopBits) {
    dcb->dcb.StopBits = stopBits;
    WriteState(Device(handle), &dcb->dcb);
}

// DTR control is never touched: it stays as the device had it.
void COMPort::SetHandshaking(uint8_t on) {
    dcb->dcb.fOutxCtsFlow = on != 0 ? TRUE : FALSE;
    dcb->dcb.fOutxDsrFlow = FALSE;
    dcb->dcb.fRtsControl = on != 0 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    WriteState(Device(handle), &dcb->dcb);
}

// The XON and XOFF characters and limits keep the device's values.
void COMPort::SetXonXoff(uint8_t on) {
    dcb->dcb.fOutX = on != 0 ? TRUE : FALSE;
    dcb->dcb.fInX = on != 0 ? TRUE : FALSE;
    WriteState(Device(handle), &dcb->dcb);
}

int COMPort::Read(uint8_t* buffer, int room) {
    DWORD got = 0;
    if (!ReadFile(Device(handle), buffer, static_cast<DWORD>(room), &got, nullptr)) {
        Raise(transport::kComReadFailed);
    }
    return static_cast<int>(got);
}

int COMPort::Write(const uint8_t* bytes, int count) {
    DWORD written = 0;
    if (!WriteFile(Device(handle), bytes, static_cast<DWORD>(count), &written, nullptr)) {
        Raise(transport::kComWriteFailed);
    }
    return static_cast<int>(written);
}

bool COMPort::WaitReadableUs(int64_t timeoutUs) {
    return dcb->paced.Wait(*dcb, timeoutUs);
}

int COMPort::OutputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(Device(handle), &errors, &status)) return -1;
    return static_cast<int>(status.cbOutQue);
}
