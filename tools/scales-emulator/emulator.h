// A stand-in for an RLS1000 label scales: decodes every frame it receives,
// keeps the scales' state (goods table, messages, hot keys, clock) and replies
// like the device does (0x02 = positive).  Fault modes make it misbehave on
// purpose for tests and demos.  Used in-process by the test suites and by the
// scales-emulator program.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace emu {

// What a frame is, judged by its first bytes.
enum class FrameKind {
    kClock,         // 0E 01 00
    kClear,         // 0E 04 00 00 04
    kGoods,         // 0B 00 00
    kContinuation,  // A2
    kMessage,       // 62, short message
    kAnnouncement,  // 62 with byte 9 = 01 and an empty text area: long message follows
    kMessageData,   // 79
    kHotKeys,       // 02 F8..FA 03
    kUnknown,
};
const char* FrameKindName(FrameKind kind);  // "clock", "clear", "goods", ...
// FrameKind by its name; false for a name that is none of them.
bool FrameKindByName(const std::string& name, FrameKind* kind);

// The RLS1000's serial line: 4800 baud, 8 data bits, no parity, one stop bit.
constexpr uint32_t kScalesBaud = 4800;

struct Good {
    uint64_t plu = 0;
    uint32_t code = 0;
    std::string nameCp1251;  // up to 61 bytes: record + continuation
    std::string nameUtf8;
    uint32_t price = 0;  // hundredths
    uint16_t shelfLife = 0;
    uint8_t labelNumber = 0;
    uint8_t labelExtra = 0;
    uint8_t department = 0;  // decimal value of the BCD byte
    uint8_t barcodeFormat = 0;
    uint8_t weightMeasure = 0;
    uint8_t extra1 = 0, extra2 = 0;
    uint32_t extra3 = 0, extra4 = 0;
};

struct Clock {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool set = false;
};

struct State {
    std::map<uint64_t, Good> goods;                    // by PLU
    std::map<int, std::vector<std::string>> messages;  // by message number (from 1), lines UTF-8
    std::vector<uint32_t> hotKeys;                     // 252 entries: keys 1..252
    Clock clock;
    uint64_t framesReceived = 0;
    uint64_t framesWithWrongFixedBytes = 0;  // answered all the same
    uint64_t framesAtWrongLineSetting = 0;   // serial: not understood, not answered
};

// Fault modes.  Every field has a neutral default: reply 0x02 at once.
struct Faults {
    bool silent = false;    // never reply
    bool negative = false;  // reply negativeByte instead of 0x02
    uint8_t negativeByte = 0x00;
    int delayMs = 0;                         // reply this late (ms after the frame arrived)
    std::map<FrameKind, int> delayMsByKind;  // ... or this late for a kind listed here
    int failNth = 0;                         // the Nth frame received (1-based) gets failReply
    std::string failKind;                // every frame of this kind ("goods", ...) gets failReply
    int failKindCount = -1;              // ... only the first N of them (-1 = all)
    std::string failReply = "negative";  // "negative" or "silent"
    int splitDatagrams = 1;              // UDP: send each reply as this many datagrams
    int splitGapUs = 300;                // ... this far apart; 0 = all in one system call
    int replyLength = 1;                 // bytes in a reply (0x02 then zeros)
    bool garbage = false;                // reply random bytes (first byte never 0x02)
    int trickleMs = 0;                   // serial: idle line between reply bytes
};

// The delay a frame of `kind` is answered with.
int ReplyDelayMs(const Faults& faults, FrameKind kind);

struct ReceivedFrame {
    FrameKind kind = FrameKind::kUnknown;
    std::vector<uint8_t> bytes;
    std::string description;     // the readable line printed for it
    bool accepted = true;        // false: answered as failed, the state did not change
    std::vector<uint8_t> reply;  // the bytes sent back (empty: no reply)
    // Steady-clock microseconds (std::chrono::steady_clock since its epoch).
    // UDP: when the datagram was read; serial: when its last byte was
    // complete on the modelled line.
    int64_t receivedUs = 0;
    // When each chunk of the reply left, one entry per datagram on UDP, per
    // byte on serial, added as they go out: chunk k was handed to the system
    // at replyStartUs[k] and had left when that send returned, by
    // replySentUs[k].
    std::vector<int64_t> replyStartUs;
    std::vector<int64_t> replySentUs;
    // Bytes that the frame layouts fix (zeros, constants) but that differ,
    // one text each, e.g. "bytes 3-6: 00 00 01 00, not zero".
    std::vector<std::string> fixedByteIssues;
    // Serial: how the driver had set its side of the line ("4800 8N1"), and
    // whether that differs from the scales' setting.
    std::string driverLine;
    bool lineMismatch = false;
};

class ScalesEmulator {
  public:
    ScalesEmulator();
    ~ScalesEmulator();  // stops
    ScalesEmulator(const ScalesEmulator&) = delete;
    ScalesEmulator& operator=(const ScalesEmulator&) = delete;

    // Listens for UDP on address:port (port 0 = any free port).  False on failure.
    bool StartUdp(const std::string& address = "127.0.0.1", uint16_t port = 0);
    uint16_t UdpPort() const;
    // Opens a pseudo-terminal and serves the RLS1000 on it as a line at
    // `baud`, 8N1; returns the device path a driver opens as its serial port
    // ("" on failure or for a speed no serial line has).
    std::string StartSerial(uint32_t baud = kScalesBaud);
    void Stop();

    void SetFaults(const Faults& faults);
    void SetEcho(bool printLines);  // print one line per frame to stdout
    // Runs the links' threads with real-time (SCHED_FIFO) priority, now and
    // for links started later, so that delays and gaps hold on a busy
    // machine.  True when every running link got it.
    bool SetRealtime(bool on);
    // Waits until every frame received has been answered in full and no
    // frame is still coming in on the modelled serial line; false when that
    // takes longer than timeoutMs.
    bool WaitUntilIdle(int timeoutMs) const;

    State Snapshot() const;
    uint64_t FramesReceived() const;            // without copying the whole state
    std::vector<ReceivedFrame> Frames() const;  // every frame received, in order
    void ClearFrames();
    std::string StateJson() const;
    // The goods table as aligned text columns, one good a line.
    std::string GoodsTable() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Pure decoding, testable without I/O.
FrameKind ClassifyFrame(const uint8_t* bytes, size_t count);

}  // namespace emu
