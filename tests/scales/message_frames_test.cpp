// Message layout, short message frames and long message frames, byte for byte.
#include <gtest/gtest.h>

#include "scales/frames.h"
#include "tests/scales/frame_hex.h"

using namespace scales;
using scales_test::Hex;
using scales_test::ZeroFrom;

namespace {
using Lines = std::vector<std::string>;
}

TEST(MessageLayoutTest, LineBreaksAndWidth) {
    EXPECT_EQ(LayOutMessage("AB\r\nCD", 0), (Lines{"AB", "CD"}));
    EXPECT_EQ(LayOutMessage("AB\rCD\nEF", 0), (Lines{"AB", "CD", "EF"}));
    EXPECT_EQ(LayOutMessage("AB\n\rCD", 0), (Lines{"AB", "", "CD"}));  // LF CR is two breaks
    EXPECT_EQ(LayOutMessage("AB\r\nCD", 1), (Lines{"A", "B", "C", "D"}));
    EXPECT_EQ(LayOutMessage("ABCDE", 2), (Lines{"AB", "CD", "E"}));
    EXPECT_EQ(LayOutMessage("AB\r\n\r\n", 0), (Lines{"AB"}));  // trailing empty lines dropped
    EXPECT_EQ(LayOutMessage("\nAB", 0), (Lines{"", "AB"}));
    EXPECT_TRUE(LayOutMessage("", 0).empty());
    EXPECT_TRUE(LayOutMessage("\r\n\n", 0).empty());
    EXPECT_EQ(LayOutMessage("ABC", -1), (Lines{"ABC"}));  // no width limit
}

TEST(MessageLayoutTest, SeventeenLinesKeepSixteen) {
    std::string text;
    for (int i = 0; i < 17; ++i) text += std::string(1, static_cast<char>('a' + i)) + "\r\n";
    const Lines lines = LayOutMessage(text, 0);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[15], "p");
    // With a width, the character that would start a 17th line ends the walk.
    const Lines wrapped = LayOutMessage(std::string(40, 'x'), 2);
    ASSERT_EQ(wrapped.size(), 16u);
    EXPECT_EQ(wrapped[15], "xx");
}

TEST(ShortMessageTest, TwoLines) {
    const Frame frame = BuildShortMessageFrame(1, LayOutMessage("AB\r\nCD", 0));
    EXPECT_EQ(Hex(frame, 0, 16), "62 00 00 0B 00 00 00 00 00 00 41 42 FF FF 43 44");
    EXPECT_TRUE(ZeroFrom(frame, 16));
}

TEST(ShortMessageTest, LineWidthOneGivesFourLines) {
    const Frame frame = BuildShortMessageFrame(1, LayOutMessage("AB\r\nCD", 1));
    EXPECT_EQ(Hex(frame, 0, 20), "62 00 00 0A 0D 10 00 00 00 00 41 FF FF 42 FF FF 43 FF FF 44");
    EXPECT_TRUE(ZeroFrom(frame, 20));
}

TEST(ShortMessageTest, EmptyFirstLineAndNumbers) {
    const Frame frame = BuildShortMessageFrame(3, LayOutMessage("\nZ", 0));
    EXPECT_EQ(Hex(frame, 0, 13), "62 02 00 09 00 00 00 00 00 00 FF FF 5A");
    EXPECT_EQ(Hex(BuildShortMessageFrame(0, {"A"}), 0, 3), "62 FF FF");
    EXPECT_EQ(Hex(BuildShortMessageFrame(300, {"A"}), 0, 3), "62 2B 01");
    EXPECT_EQ(Hex(BuildShortMessageFrame(65535, {"A"}), 0, 3), "62 FE FF");
    // The builder itself is defined for every host number (UBSan checks the
    // subtraction), although CheckMessage lets none of these through.
    EXPECT_EQ(Hex(BuildShortMessageFrame(INT32_MIN, {"A"}), 0, 3), "62 FF FF");
    EXPECT_EQ(Hex(BuildAnnouncementFrame(INT32_MIN, 0), 0, 7), "62 FF FF 00 00 00 00");
}

TEST(ShortMessageTest, SixteenLinesUseBothOffsetAreas) {
    Lines lines;
    for (int i = 0; i < 16; ++i) lines.push_back(std::string(1, static_cast<char>('a' + i)));
    ASSERT_EQ(MessageSize(lines), 16u + 2 * 15);
    const Frame frame = BuildShortMessageFrame(1, lines);
    // Line n (n >= 1) starts at frame byte 10 + 3n: offset 7 + 3n.
    EXPECT_EQ(Hex(frame, 3, 7), "0A 0D 10 13 16 19 1C");
    EXPECT_EQ(Hex(frame, 251, 8), "1F 22 25 28 2B 2E 31 34");
    EXPECT_EQ(frame[10 + 3 * 15], 'p');
}

TEST(ShortMessageTest, FullTextArea) {
    const Lines lines{std::string(241, 'Q')};
    ASSERT_EQ(MessageSize(lines), kShortMessageRoom);
    const Frame frame = BuildShortMessageFrame(1, lines);
    EXPECT_EQ(frame[250], 'Q');
    EXPECT_TRUE(ZeroFrom(frame, 251));
}

TEST(LongMessageTest, ThreeHundredBytes) {
    std::string text;
    for (int i = 0; i < 300; ++i) text.push_back(static_cast<char>('0' + i % 10));
    const Lines lines = LayOutMessage(text, 0);
    ASSERT_GT(MessageSize(lines), kShortMessageRoom);
    const std::string joined = JoinMessageLines(lines);
    ASSERT_EQ(MessageDataFrameCount(joined.size()), 2u);

    const Frame announcement = BuildAnnouncementFrame(2, 0);
    EXPECT_EQ(Hex(announcement, 0, 10), "62 01 00 00 00 02 00 00 00 01");
    EXPECT_TRUE(ZeroFrom(announcement, 10));

    const Frame first = BuildMessageDataFrame(0, joined, 0);
    EXPECT_EQ(Hex(first, 0, 9), "79 00 00 2C 01 00 00 06 00");
    EXPECT_EQ(std::string(first.begin() + 9, first.end()), text.substr(0, 250));

    const Frame second = BuildMessageDataFrame(1, joined, 1);
    EXPECT_EQ(Hex(second, 0, 3), "79 01 00");
    EXPECT_EQ(std::string(second.begin() + 3, second.begin() + 53), text.substr(250));
    EXPECT_TRUE(ZeroFrom(second, 53));
}

TEST(LongMessageTest, JoinedWithCrLfAndFrameCounts) {
    EXPECT_EQ(JoinMessageLines({"", "", "AB", "", "CD"}), "AB\r\n\r\nCD");
    EXPECT_EQ(MessageDataFrameCount(250), 1u);
    EXPECT_EQ(MessageDataFrameCount(251), 2u);
    EXPECT_EQ(MessageDataFrameCount(506), 2u);
    EXPECT_EQ(MessageDataFrameCount(507), 3u);
    EXPECT_EQ(Hex(BuildAnnouncementFrame(1, 0xABCD), 7, 2), "CD AB");
}
