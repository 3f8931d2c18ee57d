// Goods-document throughput: builds a 10,000-goods document with Cyrillic names
// (about 1.5 MB as UTF-16), then, as UploadGoods does, converts it from the
// host's UTF-16, loads it, and reads every attribute of every good, turning
// each name into windows-1251.  Prints the best and median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "text/codepage.h"
#include "text/xml.h"

namespace {

constexpr int kGoods = 10000;
constexpr int kRuns = 15;

std::u16string BuildDocument() {
    std::u16string doc = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Goods>\r\n";
    for (int i = 1; i <= kGoods; ++i) {
        std::u16string n = text::Utf8ToUtf16(std::to_string(i));
        doc += u"<Good PLU=\"" + n + u"\" Code=\"" + n +
               u"\" Name=\"\u041C\u043E\u043B\u043E\u043A\u043E \u2116" + n +
               u"\" Price=\"89.90\" ShelfLife=\"5\"/>\r\n";
    }
    doc += u"</Goods>\r\n";
    return doc;
}

// One UploadGoods-like pass; returns the number of goods read, or -1.
int LoadAndWalk(const std::u16string& document, size_t& checksum) {
    XString text;
    text.setFromWideN(document.data(), document.size());
    ClsXml xml;
    if (!xml.LoadXml(text)) return -1;
    xml.GetRoot2();
    int count = xml.ChildCount();
    XString value;
    for (int i = 0; i < count; ++i) {
        auto good = xml.GetChild(i);
        checksum += static_cast<size_t>(good->GetAttrValueInt(u"PLU"));
        checksum += static_cast<size_t>(good->GetAttrValueInt(u"ShelfLife"));
        for (const char16_t* name : {u"Code", u"Name", u"Price"}) {
            good->GetAttrValue(name, value);
            checksum += static_cast<size_t>(value.charCount());
        }
        good->GetAttrValue(u"Name", value);
        checksum += std::char_traits<char>::length(value.textIn("windows-1251"));
    }
    return count;
}

}  // namespace

int main() {
    std::u16string document = BuildDocument();
    double megabytes = static_cast<double>(document.size() * sizeof(char16_t)) / 1e6;
    std::vector<double> seconds;
    size_t checksum = 0;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        int goods = LoadAndWalk(document, checksum);
        auto stop = std::chrono::steady_clock::now();
        if (goods != kGoods) {
            std::printf("FAILED: read %d goods of %d\n", goods, kGoods);
            return 1;
        }
        seconds.push_back(std::chrono::duration<double>(stop - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    double best = seconds.front(), median = seconds[seconds.size() / 2];
    std::printf("goods document: %d goods, %.2f MB as UTF-16, %d runs (checksum %zu)\n", kGoods,
                megabytes, kRuns, checksum);
    std::printf("best:   %7.2f ms  %8.1f MB/s  %10.0f goods/s\n", best * 1e3, megabytes / best,
                kGoods / best);
    std::printf("median: %7.2f ms  %8.1f MB/s  %10.0f goods/s\n", median * 1e3, megabytes / median,
                kGoods / median);
    return 0;
}
