#include "emulator.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "decoder.h"
#include "server.h"
#include "state_format.h"
#include "tools/console/console.h"

namespace emu {
namespace {

constexpr uint8_t kPositiveReply = 0x02;
// A garbage reply when no reply length is asked for: long enough to look like
// line noise rather than one wrong byte.
constexpr size_t kDefaultGarbageLength = 8;

enum class Answer { kPositive, kNegative, kSilent, kGarbage };

// Splits a reply into `parts` pieces of nearly equal size, none empty.
std::vector<std::vector<uint8_t>> Split(const std::vector<uint8_t>& bytes, size_t parts) {
    std::vector<std::vector<uint8_t>> chunks;
    parts = std::max<size_t>(1, std::min(parts, bytes.size()));
    size_t from = 0;
    for (size_t k = 0; k < parts; ++k) {
        const size_t to = bytes.size() * (k + 1) / parts;
        chunks.emplace_back(bytes.begin() + from, bytes.begin() + to);
        from = to;
    }
    return chunks;
}

}  // namespace

struct ScalesEmulator::Impl {
    mutable std::mutex mutex;
    FrameDecoder decoder;
    std::vector<ReceivedFrame> frames;
    uint64_t recordsMade = 0;     // every record ever made, numbered from 0
    uint64_t recordsCleared = 0;  // the first ones, no longer in `frames`
    Faults faults;
    int kindFailures = 0;  // frames of faults.failKind failed so far
    bool echo = false;
    bool realtime = false;
    std::mt19937 random{std::random_device{}()};
    std::unique_ptr<Server> udp;
    std::unique_ptr<Server> serial;
    uint16_t udpPort = 0;
    uint32_t serialBaud = kScalesBaud;

    Answer ChooseAnswer(FrameKind kind, uint64_t frameNumber) {
        if (faults.silent) return Answer::kSilent;
        const bool nth = faults.failNth > 0 && frameNumber == static_cast<uint64_t>(faults.failNth);
        bool ofKind = !faults.failKind.empty() && faults.failKind == FrameKindName(kind) &&
                      (faults.failKindCount < 0 || kindFailures < faults.failKindCount);
        if (ofKind) ++kindFailures;
        if (nth || ofKind)
            return faults.failReply == "silent" ? Answer::kSilent : Answer::kNegative;
        if (faults.negative) return Answer::kNegative;
        if (faults.garbage) return Answer::kGarbage;
        return Answer::kPositive;
    }

    std::vector<uint8_t> ReplyBytes(Answer answer, bool serialLink) {
        // Over UDP every datagram of a split reply carries at least one byte.
        size_t length = static_cast<size_t>(std::max(1, faults.replyLength));
        if (!serialLink) length = std::max(length, static_cast<size_t>(faults.splitDatagrams));
        std::vector<uint8_t> bytes(length, 0);
        switch (answer) {
            case Answer::kSilent:
                return {};
            case Answer::kPositive:
                bytes[0] = kPositiveReply;
                break;
            case Answer::kNegative:
                bytes[0] = faults.negativeByte;
                break;
            case Answer::kGarbage:
                if (faults.replyLength <= 1)
                    bytes.resize(std::max(bytes.size(), kDefaultGarbageLength));
                for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
                // Garbage must never pass for a positive reply.
                if (bytes[0] == kPositiveReply) bytes[0] = static_cast<uint8_t>(~kPositiveReply);
                break;
        }
        return bytes;
    }

    std::string Annotation(Answer answer, FrameKind kind, const std::vector<uint8_t>& reply) const {
        switch (answer) {
            case Answer::kSilent:
                return " [no reply, not stored]";
            case Answer::kNegative:
                return " [reply " + HexList(reply.data(), 1) + ", not stored]";
            case Answer::kGarbage:
                return " [garbage reply, not stored]";
            case Answer::kPositive:
                break;
        }
        const int delayMs = ReplyDelayMs(faults, kind);
        if (delayMs > 0) return " [reply after " + std::to_string(delayMs) + " ms]";
        return "";
    }

    PlannedReply HandleFrame(const ArrivedFrame& arrived, bool serialLink) {
        std::lock_guard<std::mutex> lock(mutex);
        if (arrived.lineMismatch) return HandleNoise(arrived);
        const FrameKind kind = ClassifyFrame(arrived.bytes, arrived.count);
        const Answer answer = ChooseAnswer(kind, decoder.GetState().framesReceived + 1);
        const std::vector<uint8_t> reply = ReplyBytes(answer, serialLink);

        ReceivedFrame frame =
            decoder.Decode(arrived.bytes, arrived.count, answer == Answer::kPositive);
        frame.description += Annotation(answer, kind, reply);
        frame.reply = reply;
        PlannedReply plan = Plan(reply, kind, serialLink);
        plan.record = Record(std::move(frame), arrived);
        return plan;
    }

    // A frame sent with another line setting than the scales' reaches them
    // as noise: nothing is understood, nothing is answered.
    PlannedReply HandleNoise(const ArrivedFrame& arrived) {
        ReceivedFrame frame = decoder.Decode(arrived.bytes, arrived.count, false);
        decoder.NoteLineMismatch();
        frame.description += " [line " + arrived.driverLine + ", the scales run at " +
                             std::to_string(serialBaud) + " 8N1: not understood, no reply]";
        Record(std::move(frame), arrived);
        return PlannedReply{};
    }

    PlannedReply Plan(const std::vector<uint8_t>& reply, FrameKind kind, bool serialLink) const {
        constexpr int kMicrosPerMs = 1000;
        PlannedReply plan;
        plan.delayMs = std::max(0, ReplyDelayMs(faults, kind));
        if (reply.empty()) return plan;
        if (serialLink) {
            plan.chunks = {reply};
            plan.gapUs = std::max(0, faults.trickleMs) * kMicrosPerMs;
        } else {
            plan.chunks = Split(reply, static_cast<size_t>(std::max(1, faults.splitDatagrams)));
            plan.gapUs = std::max(0, faults.splitGapUs);
        }
        return plan;
    }

    void HandleDropped(const ArrivedFrame& fragment) {
        std::lock_guard<std::mutex> lock(mutex);
        ReceivedFrame frame;
        frame.bytes.assign(fragment.bytes, fragment.bytes + fragment.count);
        frame.accepted = false;
        frame.description =
            "incomplete frame of " + std::to_string(fragment.count) + " bytes dropped, no reply";
        Record(std::move(frame), fragment);
    }

    void NoteSent(uint64_t record, int64_t startUs, int64_t sentUs) {
        std::lock_guard<std::mutex> lock(mutex);
        if (record < recordsCleared) return;
        ReceivedFrame& frame = frames[record - recordsCleared];
        frame.replyStartUs.push_back(startUs);
        frame.replySentUs.push_back(sentUs);
    }

    // Returns the record's number, by which its reply's send times find it.
    uint64_t Record(ReceivedFrame frame, const ArrivedFrame& arrived) {
        frame.receivedUs = arrived.receivedUs;
        frame.driverLine = arrived.driverLine;
        frame.lineMismatch = arrived.lineMismatch;
        if (echo) console::Write(console::Stream::kOut, frame.description + "\n");
        frames.push_back(std::move(frame));
        return recordsMade++;
    }

    std::vector<Server*> Links() const {
        std::vector<Server*> links;
        for (Server* s : {udp.get(), serial.get()}) {
            if (s) links.push_back(s);
        }
        return links;
    }
};

int ReplyDelayMs(const Faults& faults, FrameKind kind) {
    const auto own = faults.delayMsByKind.find(kind);
    return own != faults.delayMsByKind.end() ? own->second : faults.delayMs;
}

ScalesEmulator::ScalesEmulator() : impl_(std::make_unique<Impl>()) {}

ScalesEmulator::~ScalesEmulator() {
    Stop();
}

bool ScalesEmulator::StartUdp(const std::string& address, uint16_t port, std::string* why) {
    if (impl_->udp) {
        if (why) *why = "already listening";
        return false;
    }
    Impl* impl = impl_.get();
    auto handler = [impl](const ArrivedFrame& f) { return impl->HandleFrame(f, false); };
    auto sent = [impl](uint64_t record, int64_t startUs, int64_t sentUs) {
        impl->NoteSent(record, startUs, sentUs);
    };
    uint16_t bound = 0;
    impl_->udp = StartUdpServer(address, port, handler, sent, &bound, why);
    if (!impl_->udp) return false;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->realtime) impl_->udp->SetRealtime(true);
    impl_->udpPort = bound;
    return true;
}

uint16_t ScalesEmulator::UdpPort() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->udpPort;
}

std::string ScalesEmulator::StartSerial(uint32_t baud) {
    if (impl_->serial) return "";
    Impl* impl = impl_.get();
    auto handler = [impl](const ArrivedFrame& f) { return impl->HandleFrame(f, true); };
    auto dropped = [impl](const ArrivedFrame& f) { impl->HandleDropped(f); };
    auto sent = [impl](uint64_t record, int64_t startUs, int64_t sentUs) {
        impl->NoteSent(record, startUs, sentUs);
    };
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->serialBaud = baud;
    }
    std::string path;
    impl_->serial = StartSerialServer(baud, handler, dropped, sent, &path);
    if (!impl_->serial) return "";
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->realtime) impl_->serial->SetRealtime(true);
    return path;
}

void ScalesEmulator::Stop() {
    // Servers are stopped outside the lock: their threads may be waiting for it.
    impl_->udp.reset();
    impl_->serial.reset();
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->udpPort = 0;
}

void ScalesEmulator::SetFaults(const Faults& faults) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults = faults;
    impl_->kindFailures = 0;
}

bool ScalesEmulator::SetRealtime(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->realtime = on;
    const std::vector<Server*> links = impl_->Links();
    bool all = !links.empty();
    for (Server* link : links) all = link->SetRealtime(on) && all;
    return all;
}

bool ScalesEmulator::WaitUntilIdle(int timeoutMs) const {
    constexpr auto kStep = std::chrono::milliseconds(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::vector<Server*> links = impl_->Links();
        if (std::all_of(links.begin(), links.end(), [](const Server* s) { return s->Idle(); }))
            return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kStep);
    }
}

void ScalesEmulator::SetEcho(bool printLines) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->echo = printLines;
}

State ScalesEmulator::Snapshot() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->decoder.GetState();
}

uint64_t ScalesEmulator::FramesReceived() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->decoder.GetState().framesReceived;
}

std::vector<ReceivedFrame> ScalesEmulator::Frames() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->frames;
}

void ScalesEmulator::ClearFrames() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->recordsCleared += impl_->frames.size();
    impl_->frames.clear();
}

std::string ScalesEmulator::StateJson() const {
    return FormatStateJson(Snapshot());
}

std::string ScalesEmulator::GoodsTable() const {
    return FormatGoodsTable(Snapshot());
}

}  // namespace emu
