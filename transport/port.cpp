#include "transport/port.h"

#include <exception>

#include "transport/com_port.h"
#include "transport/lock.h"
#include "transport/module_dir.h"
#include "transport/monitor.h"
#include "transport/networking.h"
#include "transport/socket.h"

namespace {

constexpr uint32_t kDefaultBaudRate = 4800;
constexpr uint32_t kDefaultDataBits = 8;
constexpr uint32_t kDefaultPortNumber = 20108;
// The longest device name or host the port keeps; the scales object never
// passes more than 253 characters.
constexpr size_t kMaxNameLength = 1022;
constexpr uint16_t kPortNumberMask = 0xFFFF;

constexpr uint8_t kOpenRecord[] = {'O', 'P', 'E', 'N'};
constexpr uint8_t kErrorOpenRecord[] = {'E', 'R', 'R', 'O', 'R', '_', 'O', 'P', 'E', 'N'};
constexpr uint8_t kCloseRecord[] = {'C', 'L', 'O', 'S', 'E'};

constexpr int32_t kOpened = 0;
constexpr int32_t kOpenFailed = 1;
constexpr int32_t kWriteNothingOpen = -1;
constexpr int32_t kWriteSerialFailed = -2;
constexpr int32_t kLineApplied = 0;
constexpr int32_t kLineNoSerial = -1;
constexpr int32_t kLineRefused = -2;

std::string CopyName(const char* name) {
    if (name == nullptr) return std::string();
    std::string copy(name);
    if (copy.size() > kMaxNameLength) copy.resize(kMaxNameLength);
    return copy;
}

template <size_t N>
int32_t Count(const uint8_t (&)[N]) {
    return static_cast<int32_t>(N);
}

}  // namespace

struct CZavComLanPort::State {
    std::unique_ptr<CZavClientSocket> networkLink;
    std::unique_ptr<COMPort> serialLink;
    bool monitorEnabled = false;
    std::u16string monitorPath;
    uint8_t connectionType = transport::kConnectionNone;
    uint8_t socketKind = 0;
    uint32_t baudRate = kDefaultBaudRate;
    int32_t parity = transport::kParityNone;
    uint32_t dataBits = kDefaultDataBits;
    int32_t stopBits = transport::kOneStopBit;
    uint8_t handshaking = 0;
    uint8_t xonXoff = 0;
    std::string comName;
    std::string host;
    uint32_t portNumber = kDefaultPortNumber;
    std::unique_ptr<MonitorFile> monitorFile;
    std::recursive_mutex lock;
};

CZavComLanPort::CZavComLanPort() : s_(new State) {
    // The monitor is switched on by a marker file beside the library, tested
    // once, now: creating or removing it later affects only new ports.
    try {
        std::u16string directory = transport::LibraryDirectory();
        s_->monitorEnabled = transport::PathExists(transport::MarkerFilePath(directory));
        s_->monitorPath = transport::DefaultMonitorPath(directory);
    } catch (...) {
        s_->monitorEnabled = false;
    }
}

CZavComLanPort::~CZavComLanPort() {
    Disconnect();
}

int32_t CZavComLanPort::OpenCom(const char* deviceName) {
    CiAutoLockMutex hold(&s_->lock);
    Disconnect();
    try {
        s_->connectionType = transport::kConnectionSerial;
        s_->baudRate = kDefaultBaudRate;
        s_->parity = transport::kParityNone;
        s_->dataBits = kDefaultDataBits;
        s_->stopBits = transport::kOneStopBit;
        s_->handshaking = 0;
        s_->xonXoff = 0;
        s_->host.clear();
        s_->comName = CopyName(deviceName);
        return OpenConfigured();
    } catch (...) {
        return kOpenFailed;
    }
}

int32_t CZavComLanPort::OpenLan(const char* host, int32_t portNumber, uint8_t socketKind) {
    CiAutoLockMutex hold(&s_->lock);
    Disconnect();
    try {
        s_->connectionType = transport::kConnectionEthernet;
        s_->comName.clear();
        s_->socketKind = socketKind;
        s_->portNumber = static_cast<uint32_t>(portNumber);
        s_->host = CopyName(host);
        return OpenConfigured();
    } catch (...) {
        return kOpenFailed;
    }
}

int32_t CZavComLanPort::OpenConfigured() {
    if (s_->connectionType == transport::kConnectionSerial) return OpenSerial();
    if (s_->connectionType == transport::kConnectionEthernet) return OpenNetwork();
    return kOpenFailed;
}

int32_t CZavComLanPort::OpenSerial() {
    try {
        s_->serialLink.reset(new COMPort(s_->comName.c_str()));
        COMPort& line = *s_->serialLink;
        line.SetBaudRate(s_->baudRate);
        line.SetParity(static_cast<uint8_t>(s_->parity));
        line.SetDataBits(static_cast<uint8_t>(s_->dataBits));
        line.SetStopBits(static_cast<uint8_t>(s_->stopBits));
        line.SetHandshaking(s_->handshaking);
        line.SetXonXoff(s_->xonXoff);
    } catch (...) {
        WriteMonitorRecord(kErrorOpenRecord, Count(kErrorOpenRecord), transport::kDirectionSystem);
        Disconnect();
        return kOpenFailed;
    }
    WriteMonitorRecord(kOpenRecord, Count(kOpenRecord), transport::kDirectionSystem);
    return kOpened;
}

int32_t CZavComLanPort::OpenNetwork() {
    try {
        transport::StartNetworking();
        s_->networkLink.reset(new CZavClientSocket(s_->socketKind));
        uint16_t port = static_cast<uint16_t>(s_->portNumber & kPortNumberMask);
        if (s_->networkLink->Connect(s_->host.c_str(), port) == CZavClientSocket::kConnectOk) {
            WriteMonitorRecord(kOpenRecord, Count(kOpenRecord), transport::kDirectionSystem);
            return kOpened;
        }
    } catch (...) {
    }
    WriteMonitorRecord(kErrorOpenRecord, Count(kErrorOpenRecord), transport::kDirectionSystem);
    Disconnect();
    return kOpenFailed;
}

int32_t CZavComLanPort::Disconnect() {
    CiAutoLockMutex hold(&s_->lock);
    if (s_->networkLink) {
        WriteMonitorRecord(kCloseRecord, Count(kCloseRecord), transport::kDirectionSystem);
        s_->networkLink.reset();
    }
    if (s_->serialLink) {
        WriteMonitorRecord(kCloseRecord, Count(kCloseRecord), transport::kDirectionSystem);
        s_->serialLink.reset();
    }
    return 0;
}

int32_t CZavComLanPort::Read(uint8_t* buffer) {
    CiAutoLockMutex hold(&s_->lock);
    int32_t n = 0;
    bool closeAfter = false;
    if (s_->networkLink) {
        n = s_->networkLink->Receive(buffer);
        if (n < 0) {
            Disconnect();
            return 0;
        }
        // A closed stream stays readable for ever: kept open, it would make
        // every wait for a reply return at once with nothing.
        closeAfter = s_->networkLink->PeerClosed();
    } else if (s_->serialLink) {
        try {
            n = s_->serialLink->Read(buffer, transport::kReadRoom);
        } catch (...) {
            Disconnect();
            return 0;
        }
    }
    WriteMonitorRecord(buffer, n, transport::kDirectionIn);
    if (closeAfter) Disconnect();
    return n;
}

int32_t CZavComLanPort::Write(const uint8_t* frame) {
    CiAutoLockMutex hold(&s_->lock);
    int32_t n = 0;
    if (s_->networkLink) {
        n = s_->networkLink->Send(frame);
        if (n < 0) {
            Disconnect();
            return 0;
        }
    } else if (s_->serialLink) {
        try {
            n = s_->serialLink->Write(frame, transport::kFrameSize);
        } catch (...) {
            Disconnect();
            return kWriteSerialFailed;
        }
    } else {
        return kWriteNothingOpen;
    }
    WriteMonitorRecord(frame, n, transport::kDirectionOut);
    return n;
}

template <typename Apply>
int32_t CZavComLanPort::ApplyLineSetting(Apply apply) {
    if (!s_->serialLink) return kLineNoSerial;
    try {
        apply(*s_->serialLink);
        return kLineApplied;
    } catch (...) {
        Disconnect();
        return kLineRefused;
    }
}

int32_t CZavComLanPort::SetBaudRate(uint32_t speed) {
    CiAutoLockMutex hold(&s_->lock);
    s_->baudRate = speed;
    return ApplyLineSetting([speed](COMPort& line) { line.SetBaudRate(speed); });
}

int32_t CZavComLanPort::SetNoParity() {
    CiAutoLockMutex hold(&s_->lock);
    s_->parity = transport::kParityNone;
    return ApplyLineSetting([](COMPort& line) { line.SetParity(transport::kParityNone); });
}

int32_t CZavComLanPort::SetEightDataBits() {
    CiAutoLockMutex hold(&s_->lock);
    s_->dataBits = kDefaultDataBits;
    return ApplyLineSetting([](COMPort& line) { line.SetDataBits(kDefaultDataBits); });
}

int32_t CZavComLanPort::SetOneStopBit() {
    CiAutoLockMutex hold(&s_->lock);
    s_->stopBits = transport::kOneStopBit;
    return ApplyLineSetting([](COMPort& line) { line.SetStopBits(transport::kOneStopBit); });
}

bool CZavComLanPort::IsConnected() {
    CiAutoLockMutex hold(&s_->lock);
    if (s_->networkLink) return s_->networkLink->IsValid();
    return s_->serialLink != nullptr;
}

bool CZavComLanPort::WaitForInputUs(int64_t timeoutUs) {
    CiAutoLockMutex hold(&s_->lock);
    if (s_->networkLink) return s_->networkLink->WaitReadableUs(timeoutUs);
    if (s_->serialLink) return s_->serialLink->WaitReadableUs(timeoutUs);
    return false;
}

bool CZavComLanPort::WaitForInput(int timeoutMs) {
    constexpr int64_t kUsPerMs = 1000;
    return WaitForInputUs(static_cast<int64_t>(timeoutMs) * kUsPerMs);
}

int32_t CZavComLanPort::OutputQueued() {
    CiAutoLockMutex hold(&s_->lock);
    if (!s_->serialLink) return -1;
    return s_->serialLink->OutputQueued();
}

void CZavComLanPort::SetMonitorDevice(const char* deviceId) {
    CiAutoLockMutex hold(&s_->lock);
    if (deviceId == nullptr) return;
    // The next record opens the file under its new name.
    s_->monitorFile.reset();
    try {
        s_->monitorPath = transport::DeviceMonitorPath(transport::LibraryDirectory(), deviceId);
    } catch (...) {
        s_->monitorPath.clear();
    }
}

void CZavComLanPort::WriteMonitorRecord(const uint8_t* bytes, int32_t count, int direction) {
    CiAutoLockMutex hold(&s_->lock);
    // Off costs nothing: the switch is tested before any formatting.
    if (!s_->monitorEnabled || count <= 0 || bytes == nullptr) return;
    try {
        if (!s_->monitorFile) {
            if (s_->monitorPath.empty() || s_->monitorPath.size() > transport::kMaxMonitorPath) {
                s_->monitorEnabled = false;
                return;
            }
            s_->monitorFile = MonitorFile::Open(s_->monitorPath);
            // A file that cannot be opened switches this port's monitor off for good.
            if (!s_->monitorFile) {
                s_->monitorEnabled = false;
                return;
            }
        }
        s_->monitorFile->Append(transport::FormatMonitorRecord(transport::MonitorTime(), direction,
                                                               bytes, count, Description()));
    } catch (...) {
        // The monitor never makes a port operation fail.
    }
}

std::string CZavComLanPort::Description() {
    if (s_->connectionType == transport::kConnectionSerial) {
        return transport::DescribeSerialLine(s_->comName, s_->baudRate, s_->parity, s_->dataBits,
                                             s_->stopBits, s_->handshaking, s_->xonXoff);
    }
    if (s_->connectionType == transport::kConnectionEthernet) {
        return transport::DescribeEthernetLink(s_->host, s_->portNumber);
    }
    return std::string();
}

uint8_t CZavComLanPort::ConnectionType() {
    CiAutoLockMutex hold(&s_->lock);
    return s_->connectionType;
}

uint8_t CZavComLanPort::SocketKind() {
    CiAutoLockMutex hold(&s_->lock);
    return s_->socketKind;
}

uint32_t CZavComLanPort::BaudRate() {
    CiAutoLockMutex hold(&s_->lock);
    return s_->baudRate;
}

std::u16string CZavComLanPort::MonitorPath() {
    CiAutoLockMutex hold(&s_->lock);
    return s_->monitorPath;
}

bool CZavComLanPort::MonitorEnabled() {
    CiAutoLockMutex hold(&s_->lock);
    return s_->monitorEnabled;
}
