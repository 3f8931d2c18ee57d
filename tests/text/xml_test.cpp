#include "text/xml.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

// Loads a document given as UTF-8 source text (the host passes UTF-16; XString
// converts either way).
std::unique_ptr<ClsXml> Load(const std::string& utf8) {
    auto xml = std::make_unique<ClsXml>();
    XString text;
    text.setFromUtf8(utf8.c_str());
    EXPECT_TRUE(xml->LoadXml(text));
    xml->GetRoot2();
    return xml;
}

std::string Attr(ClsXml& element, const char16_t* name) {
    XString value;
    element.GetAttrValue(name, value);
    return value.utf8Text();
}

// The attribute `name` of the root's only child.
std::string ChildAttr(const std::string& document, const char16_t* name) {
    auto root = Load(document);
    auto child = root->GetChild(0);
    return child ? Attr(*child, name) : "<no child>";
}

const char kGoods[] =
    "<Goods>\n"
    "  <Good PLU=\"007\" Code=\"1001\" Name=\"\xD0\x9C\xD0\xBE\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBE\" "
    "Price=\"89.90\" ShelfLife=\"5\"/>\n"
    "  <Item PLU=\"8\" Code=\"1002\" Name=\"Bread &amp; Butter\" Price=\"45\"></Item>\n"
    "  <x PLU=\"9\" plu=\"10\" Name=\"&#1040;\"/>\n"
    "</Goods>\n";

TEST(ClsXml, GoodsDocumentChildrenAreCountedAndReachable) {
    auto root = Load(kGoods);
    ASSERT_EQ(root->ChildCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_NE(root->GetChild(i), nullptr) << i;
    EXPECT_EQ(root->GetChild(3), nullptr);
    EXPECT_EQ(root->GetChild(-1), nullptr);
    EXPECT_EQ(root->ChildCount(), 3);  // asking for children does not move the handle
}

TEST(ClsXml, AttributesOfAnyChildAreRead) {
    auto root = Load(kGoods);
    auto first = root->GetChild(0), second = root->GetChild(1), third = root->GetChild(2);
    EXPECT_EQ(first->GetAttrValueInt(u"PLU"), 7);
    EXPECT_EQ(first->GetAttrValueInt(u"ShelfLife"), 5);
    EXPECT_EQ(second->GetAttrValueInt(u"ShelfLife"), 0);  // absent
    EXPECT_EQ(Attr(*first, u"Name"), "\xD0\x9C\xD0\xBE\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBE");
    XString name;
    ASSERT_TRUE(first->GetAttrValue(u"Name", name));
    EXPECT_STREQ(name.textIn("windows-1251"), "\xCC\xEE\xEB\xEE\xEA\xEE");
    EXPECT_EQ(Attr(*first, u"Price"), "89.90");
    EXPECT_EQ(Attr(*second, u"Name"), "Bread & Butter");
    EXPECT_EQ(Attr(*third, u"Name"), "&#1040;");   // decimal references stay as written
    EXPECT_EQ(third->GetAttrValueInt(u"PLU"), 9);  // "plu" is a different attribute
    EXPECT_EQ(third->GetAttrValueInt(u"plu"), 10);
}

TEST(ClsXml, AbsentAttributeEmptiesTheResult) {
    auto child = Load("<r><g a=\"\"/></r>")->GetChild(0);
    XString value(u"stale");
    EXPECT_FALSE(child->GetAttrValue(u"b", value));
    EXPECT_EQ(value.charCount(), 0);
    value.setFromWide(u"stale");
    EXPECT_TRUE(child->GetAttrValue(u"a", value));  // present but empty
    EXPECT_EQ(value.charCount(), 0);
    EXPECT_FALSE(child->GetAttrValue(nullptr, value));
    EXPECT_EQ(child->GetAttrValueInt(nullptr), 0);
}

TEST(ClsXml, NamesFromTheCallerAreTrimmedButCaseSensitive) {
    auto child = Load("<r><g PLU=\"12\"/></r>")->GetChild(0);
    EXPECT_EQ(child->GetAttrValueInt(u" \tPLU\r\n"), 12);
    EXPECT_EQ(child->GetAttrValueInt(u"Plu"), 0);
}

TEST(ClsXml, FirstOfRepeatedAttributesWins) {
    EXPECT_EQ(ChildAttr("<r><g a=\"1\" a=\"2\"/></r>", u"a"), "1");
}

TEST(ClsXml, EntityReferencesInValues) {
    EXPECT_EQ(ChildAttr("<r><g v=\"&lt;&gt;&quot;&apos;&amp;\"/></r>", u"v"), "<>\"'&");
    EXPECT_EQ(ChildAttr("<r><g v=\"a&#x9;b&#xA;c&#xD;d\"/></r>", u"v"), "a\tb\nc\rd");
    // "&amp;" is replaced last, so an escaped reference reads as written once.
    EXPECT_EQ(ChildAttr("<r><g v=\"&amp;lt; &amp;#xA;\"/></r>", u"v"), "&lt; &#xA;");
    EXPECT_EQ(ChildAttr("<r><g v=\"&AMP; &#x41; &#65; &nbsp; &#xa;\"/></r>", u"v"),
              "&AMP; &#x41; &#65; &nbsp; &#xa;");
}

TEST(ClsXml, QuotingForms) {
    const char doc[] =
        "<r><g a='single \"quoted\"' b=\"a > b / c\" c = \"spaced\" d=plain e=tail/>"
        "<h f=x>text</h></r>";
    auto root = Load(doc);
    ASSERT_EQ(root->ChildCount(), 2);
    auto g = root->GetChild(0);
    EXPECT_EQ(Attr(*g, u"a"), "single \"quoted\"");
    EXPECT_EQ(Attr(*g, u"b"), "a > b / c");
    EXPECT_EQ(Attr(*g, u"c"), "spaced");
    EXPECT_EQ(Attr(*g, u"d"), "plain");
    EXPECT_EQ(Attr(*g, u"e"), "tail");
    EXPECT_EQ(Attr(*root->GetChild(1), u"f"), "x");
}

// An unquoted value must not swallow the markup after it: the next good has
// to be read as a good of its own.
TEST(ClsXml, UnquotedValuesDoNotSwallowFollowingElements) {
    auto root = Load("<Goods><Good PLU=1/><Good PLU=2 Name=\"B\"/><Good PLU=3></Good></Goods>");
    ASSERT_EQ(root->ChildCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(root->GetChild(i)->GetAttrValueInt(u"PLU"), i + 1);
    EXPECT_EQ(Attr(*root->GetChild(1), u"Name"), "B");
}

TEST(ClsXml, AttributeNamesAreCleaned) {
    auto g = Load(
                 "<r><g 1st=\"a\" .x=\"b\" we$ird=\"c\" flag =\"d\" =\"dropped\" "
                 "\xD0\x98\xD0\xBC\xD1\x8F=\"e\"/></r>")
                 ->GetChild(0);
    EXPECT_EQ(Attr(*g, u"A1st"), "a");
    EXPECT_EQ(Attr(*g, u"A.x"), "b");
    EXPECT_EQ(Attr(*g, u"weird"), "c");
    EXPECT_EQ(Attr(*g, u"flag"), "d");
    EXPECT_EQ(Attr(*g, u"\u0418\u043C\u044F"), "e");  // non-ASCII names are kept
    XString value;
    EXPECT_FALSE(g->GetAttrValue(u"", value));
}

TEST(ClsXml, IntegerValues) {
    struct Case {
        const char* value;
        int expected;
    };
    const Case cases[] = {
        {"007", 7},
        {"12.5", 12},
        {" -7", -7},
        {"\t+3", 3},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"12abc", 12},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"4294967297", 1},
        {"000000000000042", 42},
    };
    for (const Case& c : cases) {
        std::string doc = std::string("<r><g v=\"") + c.value + "\"/></r>";
        EXPECT_EQ(Load(doc)->GetChild(0)->GetAttrValueInt(u"v"), c.expected) << c.value;
    }
}

TEST(ClsXml, PrologueCommentsAndDeclarationsAreNotElements) {
    const char decorated[] =
        "<!-- exported by 1C <Good PLU=\"99\"/> -->\n"
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
        "<?xml-stylesheet href=\"goods.xsl\"?>\n"
        "<!DOCTYPE Goods [ <!ELEMENT Goods (Good*)> <!ATTLIST Good PLU CDATA #REQUIRED> ]>\n"
        "<Goods><!-- a comment --><Good PLU=\"1\"/><![CDATA[ <Good PLU=\"98\"/> ]]>"
        "<!ENTITY skipped><Good PLU=\"2\"/></Goods>";
    auto root = Load(decorated);
    ASSERT_EQ(root->ChildCount(), 2);
    EXPECT_EQ(root->GetChild(0)->GetAttrValueInt(u"PLU"), 1);
    EXPECT_EQ(root->GetChild(1)->GetAttrValueInt(u"PLU"), 2);
}

TEST(ClsXml, TextWithoutElementsLoadsAnEmptyRoot) {
    for (const char* text : {"just text", "<!-- only a comment -->", "<?xml version=\"1.0\"?>"}) {
        auto root = Load(text);
        EXPECT_EQ(root->ChildCount(), 0) << text;
    }
}

TEST(ClsXml, EndTagsCloseWhateverIsOpen) {
    auto root = Load("<Goods><Good PLU=\"1\"></Item><Good PLU=\"2\"/></Goods>");
    ASSERT_EQ(root->ChildCount(), 2);
    EXPECT_EQ(root->GetChild(1)->GetAttrValueInt(u"PLU"), 2);

    // Nested children belong to their parent, not to the root.
    auto nested = Load("<r><a><b/><c></c></a><d/></r>");
    ASSERT_EQ(nested->ChildCount(), 2);
    EXPECT_EQ(nested->GetChild(0)->ChildCount(), 2);
}

// The tree stays as the forgiving reading makes it; beside it, the first
// fault of a text that is not a well-formed document, where a reader finds it.
TEST(ClsXml, FirstFaultOfATextThatIsNotWellFormed) {
    using Kind = XmlFault::Kind;
    const struct {
        const char* text;
        Kind kind;
        int line, column;
        const char* name;
        const char* openName;
        int openLine;
    } cases[] = {
        // Harmless forgiveness: no fault.
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<!-- c --><!DOCTYPE g [<!ENTITY x "
         "\">\">]>\n<G><Good Name=\"A &amp; &#1040; &nbsp;\"/></G>\n<!-- after --><?pi?>\n",
         Kind::kNone, 0, 0, "", "", 0},
        {"\xEF\xBB\xBF"
         "before <G/>  \r\n",
         Kind::kNone, 0, 0, "", "", 0},
        {"no elements at all", Kind::kNone, 0, 0, "", "", 0},
        // An element left open: at the end of the text, naming the element.
        {"<G>\n  <Good PLU=\"1\">\n  <Good PLU=\"2\"/>\n", Kind::kUnclosedElement, 4, 1, "Good",
         "Good", 2},
        {"<G>", Kind::kUnclosedElement, 1, 4, "G", "G", 1},
        // An end tag that does not match, or closes nothing.
        {"<G>\n <Good PLU=\"1\">\n <Good PLU=\"2\"/>\n</G>", Kind::kMismatchedEndTag, 4, 1, "G",
         "Good", 2},
        {"<G><Good></Item></G>", Kind::kMismatchedEndTag, 1, 10, "Item", "Good", 1},
        {"</G><G/>", Kind::kMismatchedEndTag, 1, 1, "G", "", 0},
        // Attribute values without quotes, or without any value.
        {"<G><Good PLU=12 Name=\"x\"/></G>", Kind::kUnquotedValue, 1, 14, "PLU", "", 0},
        {"<G>\n<Good  Name=\"Сыр\" Price/></G>", Kind::kUnquotedValue, 2, 24, "Price", "", 0},
        {"<G><Good Price=\"1\" Price=\"2\"/></G>", Kind::kDuplicateAttribute, 1, 4, "Price", "", 0},
        // Text or a second element after the root.
        {"<G/>\n<G/>", Kind::kContentAfterRoot, 2, 1, "G", "", 0},
        {"<G></G> \r\n  Сыр", Kind::kContentAfterRoot, 2, 3, "", "", 0},
        {"<G></G><![CDATA[x]]>", Kind::kContentAfterRoot, 1, 8, "", "", 0},
        // Markup the text never closes: it would swallow the goods after it.
        {"<G><!-- <Good PLU=\"1\"/></G>", Kind::kUnclosedMarkup, 1, 4, "<!--", "G", 1},
        {"<G><Good Name=\"Сыр/></G>", Kind::kUnclosedMarkup, 1, 4, "Good", "G", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ClsXml xml;
        XString text;
        text.setFromUtf8(c.text);
        ASSERT_TRUE(xml.LoadXml(text));
        const XmlFault fault = xml.Fault();
        EXPECT_EQ(fault.kind, c.kind);
        EXPECT_EQ(fault.line, c.line);
        EXPECT_EQ(fault.column, c.column);
        EXPECT_EQ(fault.name, c.name);
        EXPECT_EQ(fault.openName, c.openName);
        EXPECT_EQ(fault.openLine, c.openLine);
    }
}

TEST(ClsXml, ElementsKnowTheLineTheyStartOn) {
    auto root = Load("<?xml version=\"1.0\"?>\r\n<G>\r\n<a/>\r\n\r\n  <b\nc=\"1\"/><d/></G>");
    EXPECT_EQ(root->Line(), 2);
    EXPECT_EQ(root->GetChild(0)->Line(), 3);
    EXPECT_EQ(root->GetChild(1)->Line(), 5);
    EXPECT_EQ(root->GetChild(2)->Line(), 6);
}

TEST(ClsXml, CutOffDocumentKeepsWhatWasRead) {
    auto root = Load("<Goods><Good PLU=\"1\"/><Good PLU=\"2\" Name=\"unfinished");
    ASSERT_EQ(root->ChildCount(), 2);
    EXPECT_EQ(root->GetChild(1)->GetAttrValueInt(u"PLU"), 2);
    EXPECT_EQ(Attr(*root->GetChild(1), u"Name"), "unfinished");
}

TEST(ClsXml, RootAttributesAndGetRoot2) {
    auto root = Load("<Goods Count=\"2\"><Good PLU=\"5\"/></Goods>");
    EXPECT_EQ(root->GetAttrValueInt(u"Count"), 2);
    auto child = root->GetChild(0);
    child->GetRoot2();
    EXPECT_EQ(child->GetAttrValueInt(u"Count"), 2);
    EXPECT_EQ(child->ChildCount(), 1);
}

TEST(ClsXml, ChildHandlesKeepTheTreeAlive) {
    auto root = Load(kGoods);
    auto child = root->GetChild(1);
    root.reset();
    EXPECT_EQ(child->GetAttrValueInt(u"PLU"), 8);
}

TEST(ClsXml, FreshHandleIsAnEmptyElement) {
    ClsXml fresh;
    fresh.GetRoot2();
    EXPECT_EQ(fresh.ChildCount(), 0);
    EXPECT_EQ(fresh.GetChild(0), nullptr);
    XString value;
    EXPECT_FALSE(fresh.GetAttrValue(u"PLU", value));
}

TEST(ClsXml, FailedLoadKeepsThePreviousTree) {
    auto root = Load(kGoods);
    EXPECT_FALSE(root->LoadXml(XString()));
    EXPECT_FALSE(root->LoadXml(XString(u"\uFEFF")));  // nothing but a byte-order mark
    EXPECT_EQ(root->ChildCount(), 3);
    XString utf16(u"<r><a/></r>");
    EXPECT_TRUE(root->LoadXml(utf16));
    EXPECT_EQ(root->ChildCount(), 1);
}

// A text that looks like a file name is parsed as text: the driver never
// reads files named by a document.
TEST(ClsXml, FileNameTextIsNotOpened) {
    auto path = std::filesystem::temp_directory_path() / "rls-text-test-goods.xml";
    {
        std::ofstream out(path);
        out << kGoods;
    }
    ClsXml xml;
    XString name;
    name.setFromUtf8(path.u8string().c_str());
    EXPECT_TRUE(xml.LoadXml(name));
    EXPECT_EQ(xml.ChildCount(), 0);
    std::filesystem::remove(path);
}

TEST(ClsXml, MillionNestedElementsLoadWithoutRecursion) {
    constexpr int kDepth = 1000000;
    std::string doc;
    doc.reserve(kDepth * 7 + 16);
    for (int i = 0; i < kDepth; ++i) doc += "<a>";
    doc += "<leaf v=\"1\"/>";
    for (int i = 0; i < kDepth; ++i) doc += "</a>";
    auto handle = Load(doc);
    for (int level = 0; level < kDepth; ++level) {
        ASSERT_EQ(handle->ChildCount(), 1) << level;
        handle = handle->GetChild(0);
    }
    EXPECT_EQ(handle->GetAttrValueInt(u"v"), 1);

    // The same depth without any end tag also loads (and frees) cleanly.
    std::string unclosed;
    for (int i = 0; i < kDepth; ++i) unclosed += "<a>";
    EXPECT_EQ(Load(unclosed)->ChildCount(), 1);
}

TEST(ClsXml, ArbitraryTextNeverFails) {
    std::mt19937 random(777);
    const char pieces[][12] = {"<",     ">",   "/",  "=",  "\"",        "'",
                               "<!--",  "-->", "<?", "?>", "<![CDATA[", "]]>",
                               "&amp;", "&#x", " ",  "a",  "\xD0",      "\xFF"};
    for (int round = 0; round < 3000; ++round) {
        std::string doc;
        for (int n = random() % 40; n > 0; --n) doc += pieces[random() % std::size(pieces)];
        ClsXml xml;
        XString text;
        text.setFromUtf8(doc.c_str());
        bool loaded = xml.LoadXml(text);
        EXPECT_EQ(loaded, text.charCount() > 0) << doc;
        for (int i = 0; i < xml.ChildCount(); ++i) xml.GetChild(i)->GetAttrValueInt(u"a");
    }
}

}  // namespace
