#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "tools/console/console.h"

namespace console {

namespace {
HANDLE HandleOf(Stream stream) {
    return GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// GetConsoleMode succeeds only on a console: not on a file, a pipe or NUL
// (which _isatty would take for a terminal, being a character device).
bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return std::wstring();
    int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

void WriteToConsole(HANDLE handle, const std::wstring& text) {
    // Large writes are split: old consoles refuse single writes of more
    // than about 64 KiB.
    constexpr size_t kChunk = 8192;
    size_t count = 0;
    for (size_t at = 0; at < text.size(); at += count) {
        count = std::min(kChunk, text.size() - at);
        // A surrogate pair stays in one write.
        if (count == kChunk && IS_HIGH_SURROGATE(text[at + count - 1])) --count;
        DWORD written = 0;
        if (!WriteConsoleW(handle, text.data() + at, static_cast<DWORD>(count), &written, nullptr))
            return;
    }
}
}  // namespace

void Write(Stream stream, std::string_view utf8) {
    HANDLE handle = HandleOf(stream);
    if (IsConsole(handle)) {
        WriteToConsole(handle, Widen(utf8));
        return;
    }
    std::FILE* file = stream == Stream::kOut ? stdout : stderr;
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fflush(file);
}

bool IsTerminal(Stream stream) {
    return IsConsole(HandleOf(stream));
}

}  // namespace console
