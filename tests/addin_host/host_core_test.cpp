// The host's own pieces, without the add-in: the memory manager's ledger,
// command-line checks, the UTF-8/UTF-16 converter and the goods splitting.
#include <gtest/gtest.h>

#include "text/xml.h"
#include "tools/addin-host/cli_args.h"
#include "tools/addin-host/goods_document.h"
#include "tools/addin-host/host_text.h"
#include "tools/addin-host/memory_manager.h"

namespace host {
namespace {

TEST(HostMemoryManager, CountsLeaksAndBadFreesWithoutTouchingTheHeap) {
    CountingMemoryManager memory;
    void* kept = nullptr;
    void* freed = nullptr;
    ASSERT_TRUE(memory.AllocMemory(&kept, 54));
    ASSERT_TRUE(memory.AllocMemory(&freed, 8));
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(memory.Owns(freed));

    void* again = freed;
    memory.FreeMemory(&freed);
    EXPECT_EQ(freed, nullptr);  // the slot is cleared, as the host does
    memory.FreeMemory(&again);  // freed twice
    int onStack = 0;
    void* foreign = &onStack;
    memory.FreeMemory(&foreign);  // never allocated here
    void* null = nullptr;
    memory.FreeMemory(&null);  // harmless

    MemoryReport report = memory.Report();
    EXPECT_EQ(report.allocations, 2u);
    EXPECT_EQ(report.frees, 1u);
    EXPECT_EQ(report.badFrees, 2u);
    EXPECT_EQ(report.stillHeld, 1u);
    EXPECT_EQ(report.bytesStillHeld, 54u);
    EXPECT_FALSE(report.Clean());
    EXPECT_NE(report.Summary().find("1 leaked (54 bytes), 2 bad frees"), std::string::npos);

    memory.FreeMemory(&kept);
    report = memory.Report();
    EXPECT_EQ(report.badFrees, 2u);  // bad frees stay on the record
    EXPECT_FALSE(report.Clean());
}

TEST(HostMemoryManager, CleanAfterBalancedUseAndRefusesWhenAsked) {
    CountingMemoryManager memory;
    void* block = nullptr;
    ASSERT_TRUE(memory.AllocMemory(&block, 0));  // still a pointer to free
    memory.FreeMemory(&block);
    EXPECT_TRUE(memory.Report().Clean());

    memory.SetFailAllocations(true);
    void* refused = reinterpret_cast<void*>(0x1);
    EXPECT_FALSE(memory.AllocMemory(&refused, 16));
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(memory.Report().failedAllocations, 1u);
    EXPECT_FALSE(memory.AllocMemory(nullptr, 16));
}

TEST(HostAddress, AcceptsHostWithOptionalPort) {
    Address address;
    std::string error;
    ASSERT_TRUE(ParseAddress("127.0.0.1", address, error));
    EXPECT_EQ(address.host, "127.0.0.1");
    EXPECT_EQ(address.port, 5001);
    ASSERT_TRUE(ParseAddress("scales.invalid:9100", address, error));
    EXPECT_EQ(address.host, "scales.invalid");
    EXPECT_EQ(address.port, 9100);
    ASSERT_TRUE(ParseAddress("127.0.0.2:65535", address, error));
    EXPECT_EQ(address.port, 65535);
    ASSERT_TRUE(ParseAddress("localhost:1", address, error));
    EXPECT_EQ(address.port, 1);
}

TEST(HostAddress, RejectsMalformedAddressesAndKeepsThePrevious) {
    const char* bad[] = {"",         ":5001",           "host:",   "host:0", "host:65536",
                         "host:abc", "host:12a",        "host:-1", "a:1:2",  "two words:1",
                         "host:+80", "host:0000005001", "a/b:1"};
    for (const char* text : bad) {
        Address address;
        address.host = "kept";
        std::string error;
        EXPECT_FALSE(ParseAddress(text, address, error)) << text;
        EXPECT_EQ(address.host, "kept") << text;
        EXPECT_NE(error.find("malformed address"), std::string::npos) << text;
    }
}

TEST(HostNumbers, TakesTheThirtyTwoBitsTheAddInReads) {
    int32_t value = 0;
    ASSERT_TRUE(ParseInt32("-2147483648", value));
    EXPECT_EQ(value, INT32_MIN);
    ASSERT_TRUE(ParseInt32("4294967295", value));
    EXPECT_EQ(value, -1);  // the unsigned bit pattern
    ASSERT_TRUE(ParseInt32("12345", value));
    EXPECT_EQ(value, 12345);
    for (const char* bad :
         {"", "-", "4294967296", "-2147483649", "12a", "1.5", " 1", "99999999999999999999"})
        EXPECT_FALSE(ParseInt32(bad, value)) << bad;
}

TEST(HostCommandLine, SeparatesCommandPositionalsOptionsAndFlags) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(SplitCommandLine(
        {"message", "--address=127.0.0.1:7", "3", "Привет", "--width", "20", "--whole"},
        {"--address", "--width"}, {"--whole"}, line, error));
    EXPECT_EQ(line.command, "message");
    EXPECT_EQ(line.positional, (std::vector<std::string>{"3", "Привет"}));
    EXPECT_EQ(line.options.at("--address"), "127.0.0.1:7");
    EXPECT_EQ(line.options.at("--width"), "20");
    EXPECT_EQ(line.flags.count("--whole"), 1u);

    CommandLine other;
    EXPECT_FALSE(SplitCommandLine({"clear", "--bogus"}, {"--lib"}, {}, other, error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
    EXPECT_FALSE(SplitCommandLine({"clear", "--lib"}, {"--lib"}, {}, other, error));
    EXPECT_NE(error.find("needs a value"), std::string::npos);
}

TEST(HostText, ConvertsBothWaysAndReplacesMalformedInput) {
    EXPECT_EQ(Utf8ToUtf16("\xD0\x91\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBD"), u"Банан");
    EXPECT_EQ(Utf16ToUtf8(u"Банан ё"), "\xD0\x91\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBD \xD1\x91");
    // U+1F600 is a surrogate pair in UTF-16 and four bytes in UTF-8.
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\xD83D\xDE00");
    EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    // A lone surrogate, a stray continuation byte, an overlong '/', a
    // truncated sequence: each becomes U+FFFD.
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800"
                          u"b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Utf8ToUtf16("\x80"
                          "a"),
              u"\xFFFD"
              u"a");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\xFFFD");
    EXPECT_EQ(Utf8ToUtf16("a\xD0"), u"a\xFFFD");
    EXPECT_EQ(Utf8Width("Банан ok"), 8u);
}

TEST(HostGoodsSplit, SplitsIntoOneGoodDocumentsThatReadTheSame) {
    std::string file =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- shop --><Goods>"
        "<Good PLU=\"1\" Code=\"10001\" Name=\"Бананы\" Price=\"1 234,56\" ShelfLife=\"5\" "
        "Extra=\"x\"/>"
        "<Item Name=\"Салат &quot;Оливье&quot; &amp; &lt;хлеб&gt;\" Code=\"5\"/>"
        "<Good PLU=\"3\"><Nested PLU=\"99\"/></Good></Goods>";
    std::u16string document = DocumentText(file);
    EXPECT_EQ(document.substr(0, 5), u"<?xml");  // the byte-order mark is gone

    std::vector<GoodPiece> pieces;
    ASSERT_TRUE(SplitGoods(document, pieces));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].document,
              u"<Goods><Good PLU=\"1\" Code=\"10001\" Name=\"Бананы\" Price=\"1 234,56\" "
              u"ShelfLife=\"5\"/></Goods>");
    EXPECT_EQ(pieces[0].plu, "1");
    // Only present attributes are written, so absent ones stay absent.
    EXPECT_EQ(pieces[2].document, u"<Goods><Good PLU=\"3\"/></Goods>");

    // The escaped name reads back unchanged through the add-in's own reader.
    ClsXml piece;
    ASSERT_TRUE(piece.LoadXml(XString(pieces[1].document.c_str())));
    piece.GetRoot2();
    ASSERT_EQ(piece.ChildCount(), 1);
    XString name;
    ASSERT_TRUE(piece.GetChild(0)->GetAttrValue(u"Name", name));
    EXPECT_EQ(name.toU16(), u"Салат \"Оливье\" & <хлеб>");
    EXPECT_EQ(pieces[1].name, "Салат \"Оливье\" & <хлеб>");
    EXPECT_EQ(piece.GetChild(0)->GetAttrValueInt(u"PLU"), 0);
}

TEST(HostGoodsSplit, EscapesEverythingAnAttributeCannotHoldAsWritten) {
    EXPECT_EQ(EscapeAttribute(u"a&b<c>d\"e\tf\ng\rh'"),
              u"a&amp;b&lt;c&gt;d&quot;e&#x9;f&#xA;g&#xD;h'");
}

}  // namespace
}  // namespace host
