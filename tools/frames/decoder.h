// Pure decoding of the frames an RLS1000 receives: classifies a frame, turns
// it into the readable line the emulator prints, and applies it to the
// scales' state.  No I/O, so every frame kind is testable from hex bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fixed_bytes.h"
#include "frames.h"

namespace emu {

// Every request the scales receive is exactly this long.
constexpr size_t kFrameSize = 259;
// Keys 1..252 travel in three pages of 84.
constexpr size_t kHotKeysPerPage = 84;
constexpr size_t kHotKeyPages = 3;
constexpr size_t kHotKeyCount = kHotKeysPerPage * kHotKeyPages;

// "kg", "pcs-g", ...; "" for a code the scales do not know.
const char* WeightUnitName(uint8_t code);
// Bytes as upper-case hex pairs, a space between them: "00 06 FF".
std::string HexList(const uint8_t* bytes, size_t count);
// 12345 hundredths -> "123.45".
std::string FormatPrice(uint64_t hundredths);

// Number packed as binary-coded decimal, most significant digits first.  A
// nibble above 9 makes *valid false (its value is still added, as the scales'
// firmware would).
uint64_t DecodeBcd(const uint8_t* bytes, size_t count, bool* valid);

// The state of a scales and the decoding of what it receives, frame by frame.
// A long message is assembled across its announcement and data frames; a goods
// name is completed by the continuation that follows its record.
class FrameDecoder {
  public:
    FrameDecoder();

    // Decodes one received frame.  A frame that is not accepted (the scales
    // answer it with a failure) is described but leaves the state unchanged.
    ReceivedFrame Decode(const uint8_t* bytes, size_t count, bool accepted = true);

    const State& GetState() const { return state_; }
    // Counts a frame that came with another line setting than the scales'.
    void NoteLineMismatch() { ++state_.framesAtWrongLineSetting; }

  private:
    using Frame = std::array<uint8_t, kFrameSize>;

    std::string DecodeClock(const Frame& f, bool accepted);
    std::string DecodeClear(bool accepted);
    std::string DecodeGoods(const Frame& f, bool accepted);
    std::string DecodeContinuation(const Frame& f, bool accepted);
    std::string DecodeShortMessage(const Frame& f, bool accepted, FixedBytes& fixed);
    std::string DecodeAnnouncement(const Frame& f, bool accepted);
    std::string DecodeMessageData(const Frame& f, bool accepted, FixedBytes& fixed);
    std::string DecodeHotKeys(const Frame& f, bool accepted);
    std::string DecodeUnknown(const Frame& f, size_t count);
    Good* FindGoodByCode(uint32_t code);

    // A long message between its announcement and its last data frame.
    struct LongMessage {
        bool active = false;
        int number = 0;
        bool lengthKnown = false;
        size_t length = 0;
        uint16_t nextSequence = 0;
        std::string text;  // windows-1251, joined with CR LF
    };

    State state_;
    LongMessage pending_;
    uint64_t lastGoodsPlu_ = 0;
    bool haveLastGoods_ = false;
};

}  // namespace emu
