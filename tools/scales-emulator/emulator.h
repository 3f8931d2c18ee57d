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

#include "frames.h"

namespace emu {

// The RLS1000's serial line: 4800 baud, 8 data bits, no parity, one stop bit.
constexpr uint32_t kScalesBaud = 4800;

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

class ScalesEmulator {
  public:
    ScalesEmulator();
    ~ScalesEmulator();  // stops
    ScalesEmulator(const ScalesEmulator&) = delete;
    ScalesEmulator& operator=(const ScalesEmulator&) = delete;

    // Listens for UDP on address:port (port 0 = any free port).  False on
    // failure, with the system's reason in *why when given.
    bool StartUdp(const std::string& address = "127.0.0.1", uint16_t port = 0,
                  std::string* why = nullptr);
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

}  // namespace emu
