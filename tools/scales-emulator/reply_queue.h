// How the emulator's links send what the emulator planned, on every system:
// replies queued by the moment their next chunk is due and sent chunk by
// chunk, and the server thread's way to such a moment (asleep until shortly
// before it, spinning on the clock for the rest).  The send itself and the
// peer's address belong to the link: the queue calls back to send and
// carries the address as a copy of its bytes, so no OS type enters here.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <type_traits>
#include <vector>

#include "server.h"

namespace emu {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;
using Nanos = std::chrono::nanoseconds;
using Micros = std::chrono::microseconds;
using Millis = std::chrono::milliseconds;

// The time as ArrivedFrame and SentHandler carry it.
int64_t MicrosOf(TimePoint t);

// A timed wake-up comes late: by the timer slack and the scheduler's latency
// on Linux, by up to a tick of the system timer on Windows.  A server thread
// therefore sleeps only until `lead` before the next due moment and spins on
// the clock the rest of the way.  True when `due` is already that near, so
// the thread must not sleep at all.
bool DueWithin(std::optional<TimePoint> due, Micros lead);
void SpinUntil(TimePoint due);

// Where a reply goes: the link's own address of the requester (a
// sockaddr_in), copied byte for byte and given back the same way.  Empty on
// the serial line, which has one peer.
class PeerAddress {
  public:
    template <typename Address>
    static PeerAddress Of(const Address& address) {
        static_assert(std::is_trivially_copyable<Address>::value && sizeof(Address) <= kRoom,
                      "an address is kept as plain bytes");
        PeerAddress peer;
        std::memcpy(peer.bytes_.data(), &address, sizeof address);
        peer.size_ = sizeof address;
        return peer;
    }

    // A zeroed Address when this one was not made from an Address.
    template <typename Address>
    Address As() const {
        Address address{};
        if (size_ == sizeof address) std::memcpy(&address, bytes_.data(), sizeof address);
        return address;
    }

  private:
    // Room for an IPv6 socket address, the largest a datagram peer has.
    static constexpr size_t kRoom = 28;
    std::array<uint8_t, kRoom> bytes_{};
    size_t size_ = 0;
};

using Chunks = std::vector<std::vector<uint8_t>>;
// Sends chunks [from, from + count) to `to`.  More than one only when they
// leave together (a reply without a gap): in one system call where the
// system has one for that.
using ChunkSender =
    std::function<void(const Chunks& chunks, size_t from, size_t count, const PeerAddress& to)>;

// The replies still going out, owned by one server thread.
class ReplyQueue {
  public:
    ReplyQueue(ChunkSender send, SentHandler sent);

    // Chunk 0 is due at `first`, every further one `gap` after the one before
    // it has left; gap 0 sends them all at once.  Nothing is queued for no
    // chunks.
    void Schedule(Chunks chunks, TimePoint first, Nanos gap, const PeerAddress& to,
                  uint64_t record);
    // UDP: chunk 0 leaves the plan's delay after the request arrived, the
    // others the plan's gap apart, all to the requester.
    void ScheduleDatagrams(PlannedReply plan, TimePoint arrived, const PeerAddress& requester);
    // UDP: a datagram from `requester`, read just now, is handed to the
    // emulator and the reply it plans scheduled as above.
    void AnswerDatagram(const uint8_t* bytes, size_t count, const PeerAddress& requester,
                        const FrameHandler& handler);

    // nullopt once every reply has gone out.
    std::optional<TimePoint> NextDue() const;
    // Sends every chunk due by now, the earliest first; chunks due at the
    // same moment in the order their replies were scheduled.
    void SendDue();

  private:
    // Chunk `next` is due at the time the reply is queued under.
    struct PendingReply {
        Chunks chunks;
        size_t next = 0;
        TimePoint first;
        Nanos gap{0};
        PeerAddress to;
        uint64_t record = 0;
    };

    void SendNext(PendingReply reply);

    ChunkSender send_;
    SentHandler sent_;
    std::multimap<TimePoint, PendingReply> queue_;
};

}  // namespace emu
