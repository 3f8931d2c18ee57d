// Windows: the process's ANSI code page and the system's own converters for the
// code pages that codepage.cpp has no table for.
#include <windows.h>

#include "text/codepage_os.h"

namespace text::os {

int SystemCodePage() {
    return static_cast<int>(GetACP());
}

namespace {

// Converts one code point (one or two UTF-16 units); empty when the code page
// has no character for it, so that it can be dropped.
std::string ConvertOne(UINT codePage, const wchar_t* units, int count) {
    char buffer[16];
    BOOL usedDefault = FALSE;
    int written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, count, buffer,
                                      sizeof buffer, nullptr, &usedDefault);
    if (written <= 0 || usedDefault) return std::string();
    return std::string(buffer, static_cast<size_t>(written));
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The whole text in one call; false when a character had no code in the page.
bool ConvertAll(UINT codePage, std::u16string_view in, std::string& out) {
    const wchar_t* units = reinterpret_cast<const wchar_t*>(in.data());
    int length = static_cast<int>(in.size());
    BOOL usedDefault = FALSE;
    int needed = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, length, nullptr, 0,
                                     nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) return false;
    out.assign(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, length, &out[0], needed, nullptr,
                        nullptr);
    return true;
}

}  // namespace

std::string FromUtf16(int codePage, std::u16string_view in) {
    std::string out;
    if (in.empty() || ConvertAll(static_cast<UINT>(codePage), in, out)) return out;
    // Some character has no code: go code point by code point and drop those.
    out.clear();
    const wchar_t* units = reinterpret_cast<const wchar_t*>(in.data());
    for (size_t i = 0; i < in.size();) {
        int count =
            (IsHighSurrogate(in[i]) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) ? 2 : 1;
        out += ConvertOne(static_cast<UINT>(codePage), units + i, count);
        i += static_cast<size_t>(count);
    }
    return out;
}

std::u16string ToUtf16(int codePage, std::string_view in) {
    if (in.empty()) return std::u16string();
    int length = static_cast<int>(in.size());
    int needed = MultiByteToWideChar(static_cast<UINT>(codePage), 0, in.data(), length, nullptr, 0);
    if (needed <= 0) return std::u16string();
    std::u16string out(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(static_cast<UINT>(codePage), 0, in.data(), length,
                        reinterpret_cast<wchar_t*>(&out[0]), needed);
    return out;
}

}  // namespace text::os
