// The cost of checking a goods document against the cost of parsing it.
// UploadGoods parses the host's text (LoadXml from UTF-16), then checks and
// converts every good before the first frame: numbers read in the forms 1C
// writes, the record's ranges, the name taken as UTF-16.  Both are timed on
// the same 10,000-goods document (1C's no-break spaces in the prices, Cyrillic
// names); the check must stay a small fraction of the parse.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "addin/goods_document.h"
#include "text/codepage.h"
#include "text/xml.h"

namespace {

constexpr int kGoods = 10000;
// Best of many runs: on a shared machine the fastest run is the one least
// disturbed by others; the median shows how typical that run was.
constexpr int kRuns = 40;

std::u16string BuildDocument() {
    std::u16string doc = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Goods>\r\n";
    for (int i = 1; i <= kGoods; ++i) {
        std::u16string n = text::Utf8ToUtf16(std::to_string(i));
        doc += u"<Good PLU=\"" + n + u"\" Code=\"" + n +
               u"\" Name=\"\u041C\u043E\u043B\u043E\u043A\u043E \u2116" + n +
               u"\" Price=\"1\u00A0234,56\" ShelfLife=\"5\"/>\r\n";
    }
    doc += u"</Goods>\r\n";
    return doc;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Best(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

double Median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

int main() {
    const std::u16string document = BuildDocument();
    std::vector<double> parse, check;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        XString text;
        text.setFromWideN(document.data(), document.size());
        ClsXml root;
        if (!root.LoadXml(text)) return 1;
        root.GetRoot2();
        if (root.Fault().kind != XmlFault::Kind::kNone) return 1;
        parse.push_back(Seconds(start));

        start = std::chrono::steady_clock::now();
        const addin::CheckedGoods checked =
            addin::CheckGoods(root, scales::LabelSettings{}, addin::CheckScope::kFirstError);
        check.push_back(Seconds(start));
        if (!checked.errors.empty() || checked.goods.size() != static_cast<size_t>(kGoods)) {
            std::printf("FAILED: %zu goods, %zu errors\n", checked.goods.size(),
                        checked.errors.size());
            return 1;
        }
    }
    const double parseMs = Best(parse) * 1e3, checkMs = Best(check) * 1e3;
    const double parseMedianMs = Median(parse) * 1e3, checkMedianMs = Median(check) * 1e3;
    std::printf("goods document: %d goods, %.2f MB as UTF-16, best of %d runs (median)\n", kGoods,
                static_cast<double>(document.size() * sizeof(char16_t)) / 1e6, kRuns);
    std::printf("parse (LoadXml):     %7.2f ms (%.2f)\n", parseMs, parseMedianMs);
    std::printf(
        "check (CheckGoods):  %7.2f ms (%.2f)  = %.1f %% of the parse (%.1f %%; target: "
        "at most 10 %%)\n",
        checkMs, checkMedianMs, 100.0 * checkMs / parseMs, 100.0 * checkMedianMs / parseMedianMs);
    return 0;
}
