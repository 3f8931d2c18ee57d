// The fixed bytes of every frame layout, read from the byte tables: a frame
// written here by hand with one such byte changed is flagged, the same frame
// without the change is not.
#include <gtest/gtest.h>

#include "decoder.h"
#include "frame_bytes.h"

namespace {

using emu_test::Frame;
using emu_test::Put;
using emu_test::PutText;
using Bytes = std::vector<uint8_t>;
using Issues = std::vector<std::string>;

Bytes With(Bytes frame, size_t at, const std::string& hex) {
    Put(frame, at, hex);
    return frame;
}

const Bytes kClock = Frame("0E 01 00 00 00 00 00 24 03 05 09 07 45");
const Bytes kClear = Frame("0E 04 00 00 04");
const Bytes kContinuation = Frame("A2 00 00  00 00 07  C1 FF");
const Bytes kAnnouncement = Frame("62 00 00 00 00 01 00 00 00 01");
const Bytes kHotKeys = Frame("02 F8 03  12 34 56");
const Bytes kShortMessage = Frame("62 00 00 0B 00 00 00 00 00 00 41 42 FF FF 43 44");

// The first data frame of a message of `length` bytes, text from byte 9.
Bytes FirstData(size_t length) {
    Bytes f = Frame("79 00 00");
    f[3] = static_cast<uint8_t>(length & 0xFF);
    f[4] = static_cast<uint8_t>(length >> 8);
    Put(f, 5, "00 00 06 00");
    PutText(f, 9, std::string(std::min<size_t>(length, 250), 'M'));
    return f;
}

// The second data frame, carrying `count` bytes from byte 3.
Bytes NextData(size_t count) {
    Bytes f = Frame("79 01 00");
    PutText(f, 3, std::string(count, 'M'));
    return f;
}

Bytes LongContinuation() {
    Bytes f = kContinuation;
    PutText(f, 6, std::string(25, 'b'));
    return f;
}

struct Case {
    const char* what;
    std::vector<Bytes> before;  // frames that set the context (a long message's start)
    Bytes frame;
    Issues issues;
};

TEST(FixedBytes, EachLayoutFlagsWhatDiffersAndNothingElse) {
    const Bytes announce = kAnnouncement;
    const Case cases[] = {
        {"clock", {}, kClock, {}},
        {"clock 3-6", {}, With(kClock, 4, "01"), {"bytes 3-6: 00 01 00 00, not zero"}},
        {"clock tail", {}, With(kClock, 13, "01"), {"bytes 13-258 not zero: byte 13 is 01"}},
        {"clear", {}, kClear, {}},
        {"clear tail", {}, With(kClear, 200, "FF"), {"bytes 5-258 not zero: byte 200 is FF"}},
        {"goods", {}, emu_test::BananaFrame(), {}},
        {"goods offset 55", {}, With(emu_test::BananaFrame(), 58, "07"), {"byte 58: 07, not zero"}},
        {"goods after record",
         {},
         With(emu_test::BananaFrame(), 67, "01"),
         {"bytes 67-258 not zero: byte 67 is 01"}},
        {"goods name padding",
         {},
         With(emu_test::BananaFrame(), 10, "58"),
         {"bytes 8-38 not zero: byte 10 is 58"}},
        {"continuation", {}, kContinuation, {}},
        {"continuation of 25", {}, LongContinuation(), {}},
        {"continuation record tail",
         {},
         With(kContinuation, 31, "01"),
         {"bytes 31-258 not zero: byte 31 is 01"}},
        {"continuation name padding",
         {},
         With(kContinuation, 7, "00 FF"),
         {"bytes 7-30 not zero: byte 8 is FF"}},
        {"announcement", {}, kAnnouncement, {}},
        {"announcement 3-4", {}, With(kAnnouncement, 3, "01"), {"bytes 3-4: 01 00, not zero"}},
        {"hot keys", {}, kHotKeys, {}},
        {"hot keys tail", {}, With(kHotKeys, 256, "01"), {"bytes 255-258: 00 01 00 00, not zero"}},
        {"short message", {}, kShortMessage, {}},
        {"offset of a line not sent", {}, With(kShortMessage, 5, "10"), {"byte 5: 10, not zero"}},
        {"high offset of a line not sent",
         {},
         With(kShortMessage, 258, "20"),
         {"byte 258: 20, not zero"}},
        {"text after the last line",
         {},
         With(kShortMessage, 17, "45"),
         {"bytes 16-250 not zero: byte 17 is 45"}},
        {"first data", {announce}, FirstData(300), {}},
        {"first data 5-8",
         {announce},
         With(FirstData(300), 7, "00"),
         {"bytes 5-8: 00 00 00 00, not 00 00 06 00"}},
        {"first data padding",
         {announce},
         With(FirstData(5), 20, "41"),
         {"bytes 14-258 not zero: byte 20 is 41"}},
        {"next data", {announce, FirstData(300)}, NextData(50), {}},
        {"next data padding",
         {announce, FirstData(300)},
         With(NextData(50), 100, "41"),
         {"bytes 53-258 not zero: byte 100 is 41"}},
    };
    for (const Case& c : cases) {
        emu::FrameDecoder d;
        for (const Bytes& f : c.before) d.Decode(f.data(), f.size());
        const emu::ReceivedFrame out = d.Decode(c.frame.data(), c.frame.size());
        EXPECT_EQ(out.fixedByteIssues, c.issues) << c.what << ": " << out.description;
        EXPECT_EQ(out.description.find("[fixed bytes differ") != std::string::npos,
                  !c.issues.empty())
            << c.what;
        EXPECT_EQ(d.GetState().framesWithWrongFixedBytes, c.issues.empty() ? 0u : 1u) << c.what;
        // Every case is a well-formed frame but for its fixed byte: the
        // decoder adds no note "(...)" of its own, so no byte is noted twice.
        const std::string line = out.description.substr(0, out.description.find(" [fixed"));
        EXPECT_NE(line.back(), ')') << c.what << ": " << out.description;
    }
}

// A flagged frame still changes the state as the scales would take it.
TEST(FixedBytes, FlaggedFrameIsStillDecoded) {
    emu::FrameDecoder d;
    const Bytes goods = With(emu_test::BananaFrame(), 100, "01");
    const emu::ReceivedFrame out = d.Decode(goods.data(), goods.size());
    EXPECT_EQ(out.description,
              "goods PLU 10001 code 10001 \"Банан\" price 123.45 shelf life 10 label 0 dept 28 "
              "barcode 7 unit kg [fixed bytes differ: bytes 67-258 not zero: byte 100 is 01]");
    EXPECT_EQ(d.GetState().goods.count(10001u), 1u);
}

}  // namespace
