#include "reply_queue.h"

#include <algorithm>
#include <utility>

namespace emu {

int64_t MicrosOf(TimePoint t) {
    return std::chrono::duration_cast<Micros>(t.time_since_epoch()).count();
}

bool DueWithin(std::optional<TimePoint> due, Micros lead) {
    return due && *due - SteadyClock::now() <= lead;
}

void SpinUntil(TimePoint due) {
    while (SteadyClock::now() < due) {
    }
}

ReplyQueue::ReplyQueue(ChunkSender send, SentHandler sent)
    : send_(std::move(send)), sent_(std::move(sent)) {}

void ReplyQueue::Schedule(Chunks chunks, TimePoint first, Nanos gap, const PeerAddress& to,
                          uint64_t record) {
    if (chunks.empty()) return;
    PendingReply reply{std::move(chunks), 0, first, gap, to, record};
    // multimap keeps entries due at the same moment in the order added
    queue_.emplace(first, std::move(reply));
}

void ReplyQueue::ScheduleDatagrams(PlannedReply plan, TimePoint arrived,
                                   const PeerAddress& requester) {
    Schedule(std::move(plan.chunks), arrived + Millis(plan.delayMs), Micros(plan.gapUs), requester,
             plan.record);
}

void ReplyQueue::AnswerDatagram(const uint8_t* bytes, size_t count, const PeerAddress& requester,
                                const FrameHandler& handler) {
    const TimePoint at = SteadyClock::now();
    ArrivedFrame frame;
    frame.bytes = bytes;
    frame.count = count;
    frame.receivedUs = MicrosOf(at);
    ScheduleDatagrams(handler(frame), at, requester);
}

std::optional<TimePoint> ReplyQueue::NextDue() const {
    if (queue_.empty()) return std::nullopt;
    return queue_.begin()->first;
}

void ReplyQueue::SendDue() {
    while (!queue_.empty() && queue_.begin()->first <= SteadyClock::now()) {
        auto node = queue_.extract(queue_.begin());
        SendNext(std::move(node.mapped()));
    }
}

// The chunk left between the two readings of the clock around its send.  The
// next one is due no earlier than a gap after the later reading: a chunk
// sent late never shortens the gap to the one after it.
void ReplyQueue::SendNext(PendingReply reply) {
    const size_t count = reply.gap.count() == 0 ? reply.chunks.size() - reply.next : 1;
    const TimePoint start = SteadyClock::now();
    send_(reply.chunks, reply.next, count, reply.to);
    const TimePoint sent = SteadyClock::now();
    for (size_t k = 0; k < count; ++k) sent_(reply.record, MicrosOf(start), MicrosOf(sent));
    reply.next += count;
    if (reply.next >= reply.chunks.size()) return;
    const TimePoint planned = reply.first + reply.gap * static_cast<int64_t>(reply.next);
    const TimePoint due = std::max(planned, sent + reply.gap);
    queue_.emplace(due, std::move(reply));
}

}  // namespace emu
