// Feeds arbitrary input to ClsXml the way UploadGoods uses it: load, go to the
// root, note the text's first fault and describe it, run the goods check
// with every error and warning and describe each, and read the goods
// attributes of every element (breadth first, no recursion), converting each
// name to windows-1251 as the scales want it.
//
// The first byte picks the form: odd means the rest is UTF-16 little-endian
// (what the host passes, lone surrogates included), even means UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "addin/goods_document.h"
#include "addin/goods_report.h"
#include "text/xml.h"

namespace {

constexpr size_t kMaxElementsVisited = 5000;
const char16_t* const kGoodsAttributes[] = {u"PLU", u"Code", u"Name", u"Price", u"ShelfLife"};

XString TextOf(const uint8_t* data, size_t size) {
    XString text;
    if (size == 0) return text;
    bool utf16 = data[0] & 1;
    ++data, --size;
    if (utf16) {
        std::u16string units(size / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        text.setFromWideN(units.data(), units.size());
    } else {
        std::string bytes(reinterpret_cast<const char*>(data), size);
        text.setFromUtf8(bytes.c_str());
    }
    return text;
}

void ReadElement(ClsXml& element) {
    XString value;
    for (const char16_t* name : kGoodsAttributes) {
        element.GetAttrValueInt(name);
        if (element.GetAttrValue(name, value)) {
            value.textIn("windows-1251");
            value.wideText();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XString text = TextOf(data, size);
    auto root = std::make_unique<ClsXml>();
    if (!root->LoadXml(text)) return 0;
    root->GetRoot2();
    const XmlFault fault = root->Fault();
    if (fault.kind != XmlFault::Kind::kNone) {
        if (fault.line < 1 || fault.column < 1) __builtin_trap();
        addin::DescribeFault(fault);
    }
    const addin::CheckedGoods checked =
        addin::CheckGoods(*root, scales::LabelSettings{}, addin::CheckScope::kEverything);
    for (const auto* list : {&checked.errors, &checked.warnings})
        for (const addin::GoodsProblem& problem : *list) addin::DescribeProblem(problem);
    // Every good comes out converted, or is named by an error.
    if (checked.errors.empty() && checked.goods.size() != static_cast<size_t>(root->ChildCount()))
        __builtin_trap();
    std::deque<std::unique_ptr<ClsXml>> pending;
    pending.push_back(std::move(root));
    for (size_t visited = 0; !pending.empty() && visited < kMaxElementsVisited; ++visited) {
        std::unique_ptr<ClsXml> element = std::move(pending.front());
        pending.pop_front();
        ReadElement(*element);
        int count = element->ChildCount();
        for (int i = 0; i < count; ++i) {
            pending.push_back(element->GetChild(i));
            if (pending.back()->Line() < 1) __builtin_trap();  // every child has a start tag
        }
        if (element->GetChild(count) != nullptr) __builtin_trap();  // past the last child
    }
    return 0;
}
