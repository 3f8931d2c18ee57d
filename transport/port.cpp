#include "transport/port.h"

#include "transport/com_port.h"
#include "transport/link.h"
#include "transport/lock.h"
#include "transport/module_dir.h"
#include "transport/monitor.h"
#include "transport/networking.h"

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
constexpr int32_t kWriteNetworkFailed = 0;
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
    std::unique_ptr<transport::Link> link;
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
    transport::LinkError error;
    std::unique_ptr<COMPort> line = COMPort::Open(s_->comName.c_str(), error);
    if (!line) {
        // Nothing was held: no "CLOSE" follows.
        WriteMonitorRecord(kErrorOpenRecord, Count(kErrorOpenRecord), transport::kDirectionSystem);
        WriteFault(error);
        return kOpenFailed;
    }
    s_->link = std::move(line);
    // The stored settings, in one write.
    if (!s_->link->ApplyLine(LineSettings(), error)) {
        WriteMonitorRecord(kErrorOpenRecord, Count(kErrorOpenRecord), transport::kDirectionSystem);
        Failed(error);
        return kOpenFailed;
    }
    WriteMonitorRecord(kOpenRecord, Count(kOpenRecord), transport::kDirectionSystem);
    return kOpened;
}

int32_t CZavComLanPort::OpenNetwork() {
    transport::LinkError error{transport::Fault::kIo, 0};
    try {
        transport::StartNetworking();
        std::unique_ptr<transport::NetworkLink> network = transport::NewNetworkLink(s_->socketKind);
        transport::NetworkLink& connecting = *network;
        s_->link = std::move(network);
        uint16_t port = static_cast<uint16_t>(s_->portNumber & kPortNumberMask);
        if (connecting.Connect(s_->host.c_str(), port, error)) {
            WriteMonitorRecord(kOpenRecord, Count(kOpenRecord), transport::kDirectionSystem);
            return kOpened;
        }
    } catch (...) {
    }
    WriteMonitorRecord(kErrorOpenRecord, Count(kErrorOpenRecord), transport::kDirectionSystem);
    // The socket was made, so "CLOSE" follows.
    Failed(error);
    return kOpenFailed;
}

int32_t CZavComLanPort::Disconnect() {
    CiAutoLockMutex hold(&s_->lock);
    if (s_->link) {
        WriteMonitorRecord(kCloseRecord, Count(kCloseRecord), transport::kDirectionSystem);
        s_->link.reset();
    }
    return 0;
}

// A link's failure: who is at fault goes to the monitor, then the port
// closes.
void CZavComLanPort::Failed(const transport::LinkError& error) {
    WriteFault(error);
    Disconnect();
}

void CZavComLanPort::WriteFault(const transport::LinkError& error) {
    try {
        const std::string text = transport::FaultRecordText(error);
        WriteMonitorRecord(reinterpret_cast<const uint8_t*>(text.data()),
                           static_cast<int32_t>(text.size()), transport::kDirectionSystem);
    } catch (...) {
        // The monitor never makes a port operation fail.
    }
}

int32_t CZavComLanPort::Read(uint8_t* buffer) {
    CiAutoLockMutex hold(&s_->lock);
    if (!s_->link) return 0;
    transport::LinkError error;
    const int32_t n = s_->link->Read(buffer, error);
    if (n < 0) {
        Failed(error);
        return 0;
    }
    WriteMonitorRecord(buffer, n, transport::kDirectionIn);
    if (s_->link->Ended()) Disconnect();
    return n;
}

int32_t CZavComLanPort::Write(const uint8_t* frame) {
    CiAutoLockMutex hold(&s_->lock);
    if (!s_->link) return kWriteNothingOpen;
    transport::LinkError error;
    const int32_t n = s_->link->Write(frame, error);
    if (n < 0) {
        const bool serial = s_->connectionType == transport::kConnectionSerial;
        Failed(error);
        return serial ? kWriteSerialFailed : kWriteNetworkFailed;
    }
    WriteMonitorRecord(frame, n, transport::kDirectionOut);
    return n;
}

transport::LineSettings CZavComLanPort::LineSettings() const {
    return transport::LineSettings{s_->baudRate, s_->parity,      s_->dataBits,
                                   s_->stopBits, s_->handshaking, s_->xonXoff};
}

// The stored settings to an open serial line; the line is written only when
// they change it.
int32_t CZavComLanPort::ApplyLineSettings() {
    if (!s_->link || !s_->link->TakesLineSettings()) return kLineNoSerial;
    transport::LinkError error;
    if (s_->link->ApplyLine(LineSettings(), error)) return kLineApplied;
    Failed(error);
    return kLineRefused;
}

int32_t CZavComLanPort::SetBaudRate(uint32_t speed) {
    CiAutoLockMutex hold(&s_->lock);
    s_->baudRate = speed;
    return ApplyLineSettings();
}

int32_t CZavComLanPort::SetNoParity() {
    CiAutoLockMutex hold(&s_->lock);
    s_->parity = transport::kParityNone;
    return ApplyLineSettings();
}

int32_t CZavComLanPort::SetEightDataBits() {
    CiAutoLockMutex hold(&s_->lock);
    s_->dataBits = kDefaultDataBits;
    return ApplyLineSettings();
}

int32_t CZavComLanPort::SetOneStopBit() {
    CiAutoLockMutex hold(&s_->lock);
    s_->stopBits = transport::kOneStopBit;
    return ApplyLineSettings();
}

bool CZavComLanPort::IsConnected() {
    CiAutoLockMutex hold(&s_->lock);
    return s_->link != nullptr;
}

bool CZavComLanPort::WaitForInputUs(int64_t timeoutUs) {
    CiAutoLockMutex hold(&s_->lock);
    return s_->link && s_->link->WaitReadableUs(timeoutUs);
}

bool CZavComLanPort::WaitForInput(int timeoutMs) {
    constexpr int64_t kUsPerMs = 1000;
    return WaitForInputUs(static_cast<int64_t>(timeoutMs) * kUsPerMs);
}

int32_t CZavComLanPort::OutputQueued() {
    CiAutoLockMutex hold(&s_->lock);
    return s_->link ? s_->link->OutputQueued() : -1;
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
