// Several threads at once: handles of one tree, one handle loaded while it
// is read, and identifiers drawn in parallel from the process-wide generator.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "text/xml.h"

namespace {

constexpr int kThreads = 4;

TEST(TextThreads, HandlesOfOneTreeReadInParallel) {
    std::string doc = "<Goods>";
    for (int i = 0; i < 200; ++i) doc += "<Good PLU=\"" + std::to_string(i) + "\"/>";
    doc += "</Goods>";
    XString text;
    text.setFromUtf8(doc.c_str());
    ClsXml root;
    ASSERT_TRUE(root.LoadXml(text));

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                auto child = root.GetChild(i);
                if (!child || child->GetAttrValueInt(u"PLU") != i) ++wrong;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A document of `count` goods, each naming its document and its place.
XString GoodsDocument(char name, int count) {
    std::string doc = "<Goods>";
    for (int i = 0; i < count; ++i) {
        doc += "<Good Doc=\"";
        doc += name;
        doc += "\" At=\"" + std::to_string(i) + "\"/>";
    }
    doc += "</Goods>";
    XString text;
    text.setFromUtf8(doc.c_str());
    return text;
}

// One handle, loaded again and again with one of two documents while other
// threads take children from it.  The handle's lock makes each call see one
// whole document: without it a reader can take a child from the document a
// load is just releasing, and reads freed memory (the asan preset reports
// it; elsewhere the values read show it, when they do not crash the test).
TEST(TextThreads, OneHandleReloadedWhileRead) {
    constexpr int kLoads = 3000;
    constexpr int kSmall = 20, kLarge = 60;
    const XString small = GoodsDocument('s', kSmall), large = GoodsDocument('l', kLarge);
    ClsXml root;
    ASSERT_TRUE(root.LoadXml(small));

    std::atomic<bool> loading{true};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < kThreads - 1; ++t)
        readers.emplace_back([&, t] {
            for (int i = t; loading.load(); ++i) {
                const auto child = root.GetChild(i % kLarge);
                if (!child) continue;  // the small document has fewer goods
                XString doc, at;
                if (!child->GetAttrValue(u"Doc", doc) || !child->GetAttrValue(u"At", at)) {
                    ++wrong;
                    continue;
                }
                const std::string place = at.utf8Text();
                const std::string name = doc.utf8Text();
                const int size = name == "s" ? kSmall : name == "l" ? kLarge : 0;
                if (place.empty() || std::stoi(place) >= size) ++wrong;
            }
        });
    for (int i = 0; i < kLoads; ++i) root.LoadXml(i % 2 == 0 ? large : small);
    loading = false;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(TextThreads, IdentifiersNeverRepeatAcrossThreads) {
    std::mutex lock;
    std::set<std::string> seen;
    std::atomic<int> repeats{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                XString id;
                id.appendRandomBytes(10, "hex");
                std::lock_guard<std::mutex> guard(lock);
                if (!seen.insert(id.narrowText()).second) ++repeats;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(repeats.load(), 0);
    EXPECT_EQ(seen.size(), 2000u);
}

}  // namespace
