// Several threads at once: handles of one tree, and identifiers drawn in
// parallel from the process-wide generator.
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
