// XString keeps its text in up to three forms (UTF-8, system code page,
// UTF-16), each with a flag saying whether it is current.  A change writes one
// form and marks the others stale; a stale form is rebuilt when asked for and
// then kept until the next change.
#include "text/xstring.h"

#include <cstring>
#include <string_view>

#include "text/base64.h"
#include "text/charset.h"
#include "text/codepage.h"
#include "text/random.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The byte-order mark read in the platform's order, and read the wrong way round.
constexpr char16_t kWideBom = 0xFEFF;
constexpr char16_t kWideBomSwapped = 0xFFFE;

std::string_view NarrowView(const char* text) {
    return text == nullptr ? std::string_view() : std::string_view(text);
}

std::string_view WithoutUtf8Bom(std::string_view text) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    return text;
}

std::u16string_view WideView(const char16_t* text) {
    return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

}  // namespace

struct XString::Impl {
    std::string utf8;
    std::string narrow;
    std::u16string wide;
    bool utf8Current = true;
    bool narrowCurrent = true;
    bool wideCurrent = false;
    // textIn's result: its own buffer, so that it outlives later changes.
    std::unique_ptr<std::string> converted;

    void Clear() {
        utf8.clear();
        narrow.clear();
        wide.clear();
        utf8Current = narrowCurrent = true;
        wideCurrent = false;
    }
    void OnlyUtf8() { utf8Current = true, narrowCurrent = wideCurrent = false; }
    void OnlyNarrow() { narrowCurrent = true, utf8Current = wideCurrent = false; }
    void OnlyWide() { wideCurrent = true, utf8Current = narrowCurrent = false; }

    const std::u16string& Wide() {
        if (!wideCurrent) {
            wide = utf8Current ? text::Utf8ToUtf16(utf8) : text::SystemToUtf16(narrow);
            wideCurrent = true;
        }
        return wide;
    }
    const std::string& Utf8() {
        if (!utf8Current) {
            utf8 = text::Utf16ToUtf8(wideCurrent ? wide : text::SystemToUtf16(narrow));
            utf8Current = true;
        }
        return utf8;
    }
    const std::string& Narrow() {
        if (!narrowCurrent) {
            narrow = text::Utf16ToSystem(wideCurrent ? wide : text::Utf8ToUtf16(utf8));
            narrowCurrent = true;
        }
        return narrow;
    }

    void AppendUtf8(std::string_view text) {
        Utf8();
        utf8.append(WithoutUtf8Bom(text));
        OnlyUtf8();
    }
    void AppendWide(std::u16string_view text) {
        Wide();
        wide.append(text);
        OnlyWide();
    }
    // 8-bit text in the system code page goes straight into the narrow form
    // when that is current, else into the UTF-8 form.
    void AppendNarrow(std::string_view text) {
        if (text.empty()) return;
        if (narrowCurrent) {
            narrow.append(text);
            OnlyNarrow();
            return;
        }
        AppendUtf8(text::Utf16ToUtf8(text::SystemToUtf16(text)));
    }
};

XString::XString() : impl_(std::make_unique<Impl>()) {}
XString::XString(const char16_t* wide) : XString() {
    setFromWide(wide);
}
XString::XString(const XString& other) : impl_(std::make_unique<Impl>()) {
    Impl& mine = *impl_;
    const Impl& theirs = *other.impl_;
    mine.utf8 = theirs.utf8, mine.narrow = theirs.narrow, mine.wide = theirs.wide;
    mine.utf8Current = theirs.utf8Current;
    mine.narrowCurrent = theirs.narrowCurrent;
    mine.wideCurrent = theirs.wideCurrent;
}
XString& XString::operator=(const XString& other) {
    if (this != &other) {
        XString copy(other);
        std::swap(impl_, copy.impl_);
    }
    return *this;
}
// A moved-from string is left empty and usable.
XString::XString(XString&& other) noexcept : impl_(std::make_unique<Impl>()) {
    std::swap(impl_, other.impl_);
}
XString& XString::operator=(XString&& other) noexcept {
    std::swap(impl_, other.impl_);
    return *this;
}
XString::~XString() = default;

void XString::clear() {
    impl_->Clear();
}

void XString::setFromWide(const char16_t* text) {
    setFromWideN(text, WideView(text).size());
}

void XString::setFromWideN(const char16_t* text, size_t units) {
    std::u16string_view view =
        text == nullptr ? std::u16string_view() : std::u16string_view(text, units);
    if (!view.empty() && (view.front() == kWideBom || view.front() == kWideBomSwapped))
        view.remove_prefix(1);
    impl_->wide.assign(view.data(), view.size());  // safe even when it points into `wide`
    impl_->OnlyWide();
}

void XString::setFromNarrow(const char* text) {
    setFromNarrowN(text, NarrowView(text).size());
}

// The setters copy their argument first: it may point into this very string.
void XString::setFromNarrowN(const char* text, size_t bytes) {
    std::string copy = text == nullptr ? std::string() : std::string(text, bytes);
    impl_->Clear();
    impl_->AppendNarrow(copy);
}

void XString::setFromUtf8(const char* text) {
    std::string copy(NarrowView(text));
    impl_->Clear();
    impl_->AppendUtf8(copy);
}

void XString::setFromString(const XString& other) {
    if (this == &other) return;
    std::string_view utf8 = other.impl_->Utf8();
    impl_->Clear();
    impl_->utf8.assign(utf8);
    impl_->OnlyUtf8();
}

void XString::appendNarrow(const char* text) {
    impl_->AppendNarrow(NarrowView(text));
}

void XString::appendNarrowN(const char* text, size_t bytes) {
    if (text != nullptr) impl_->AppendNarrow(std::string_view(text, bytes));
}

void XString::appendNarrowChar(char c) {
    impl_->AppendNarrow(std::string_view(&c, 1));
}

void XString::appendUtf8(const char* text) {
    impl_->AppendUtf8(NarrowView(text));
}

void XString::appendWide(const char16_t* text) {
    impl_->AppendWide(WideView(text));
}

void XString::appendString(const XString& other) {
    if (this == &other) {
        XString copy(other);
        appendString(copy);
        return;
    }
    const Impl& theirs = *other.impl_;
    if (theirs.utf8Current)
        impl_->AppendUtf8(theirs.utf8);
    else if (theirs.wideCurrent)
        impl_->AppendWide(theirs.wide);
    else
        impl_->AppendNarrow(theirs.narrow);
}

namespace {

bool IsLowerHexEncoding(std::string_view name) {
    return name == "hexlower" || name == "hex_lower" || name == "hex-lower";
}

}  // namespace

void XString::appendRandomBytes(int count, const char* encoding) {
    std::string_view name = NarrowView(encoding);
    bool lower = IsLowerHexEncoding(name);
    if (count <= 0 || (name != "hex" && !lower)) return;
    std::string bytes(static_cast<size_t>(count), '\0');
    if (!text::FillFreshRandomBytes(reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size())) return;
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    impl_->AppendUtf8(hex);  // hexadecimal digits are the same bytes in every code page
}

void XString::decodeBase64Text(const char* charset) {
    std::string decoded = text::DecodeBase64(impl_->narrowCurrent ? impl_->narrow : impl_->Utf8());
    int codePage = text::CodePageOfCharset(charset);
    impl_->Clear();
    if (codePage == text::kUtf8CodePage) {
        impl_->AppendUtf8(decoded);
    } else if (codePage == 0) {
        impl_->AppendNarrow(decoded);
    } else {
        impl_->wide = text::ToUtf16(codePage, decoded);
        impl_->OnlyWide();
    }
}

int XString::compareTo(const XString& other) const {
    const std::u16string& mine = impl_->Wide();
    const std::u16string& theirs = other.impl_->Wide();
    int order = mine.compare(theirs);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool XString::containsText(const char* narrow) const {
    std::string_view needle = NarrowView(narrow);
    if (needle.empty()) return true;
    std::string utf8 = text::Utf16ToUtf8(text::SystemToUtf16(needle));
    return impl_->Utf8().find(utf8) != std::string::npos;
}

bool XString::endsWithText(const char* narrow) const {
    std::string_view needle = NarrowView(narrow);
    if (needle.empty()) return true;
    std::string utf8 = text::Utf16ToUtf8(text::SystemToUtf16(needle));
    const std::string& mine = impl_->Utf8();
    return mine.size() >= utf8.size() &&
           mine.compare(mine.size() - utf8.size(), utf8.size(), utf8) == 0;
}

int XString::findText(const char* narrow) const {
    std::string_view needle = NarrowView(narrow);
    if (needle.empty()) return 0;
    size_t at = impl_->Wide().find(text::SystemToUtf16(needle));
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

void XString::removeAllOf(char c) {
    std::u16string unit = text::SystemToUtf16(std::string_view(&c, 1));
    constexpr char16_t kReplacement = 0xFFFD;
    // A byte that is no whole character in the system code page (a UTF-8 lead
    // byte, for one) names nothing to remove.
    if (unit.size() != 1 || unit[0] == kReplacement) return;
    impl_->Wide();
    std::u16string& wide = impl_->wide;
    size_t kept = 0;
    for (char16_t u : wide)
        if (u != unit[0]) wide[kept++] = u;
    if (kept == wide.size()) return;
    wide.resize(kept);
    impl_->OnlyWide();
}

int XString::charCount() const {
    return static_cast<int>(impl_->Wide().size());
}

const char* XString::narrowText() const {
    return impl_->Narrow().c_str();
}

const char* XString::utf8Text() const {
    return impl_->Utf8().c_str();
}

const char16_t* XString::wideText() const {
    return impl_->Wide().c_str();
}

const char* XString::textIn(const char* charset) const {
    int codePage = text::CodePageOfCharset(charset);
    std::string result = text::FromUtf16(codePage, impl_->Wide());
    if (!impl_->converted) impl_->converted = std::make_unique<std::string>();
    *impl_->converted = std::move(result);
    return impl_->converted->c_str();
}

std::u16string XString::toU16() const {
    return impl_->Wide();
}
