// windows.h first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

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

std::string Narrow(const wchar_t* wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length) - 1);
    return utf8;
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

std::vector<std::string> Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

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

// The console's own cursor: escape sequences work only where the console
// has been switched to them, which is left as the user set it.
void CursorUp(Stream stream, int lines) {
    HANDLE handle = HandleOf(stream);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (lines <= 0 || !IsConsole(handle) || !GetConsoleScreenBufferInfo(handle, &info)) return;
    COORD at = info.dwCursorPosition;
    at.X = 0;
    at.Y = static_cast<SHORT>(at.Y > lines ? at.Y - lines : 0);
    SetConsoleCursorPosition(handle, at);
}

std::string SystemErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length > 0) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                             nullptr, nullptr);
        utf8.resize(static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &utf8[0], size, nullptr,
                            nullptr);
    }
    LocalFree(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.'))
        utf8.pop_back();
    return utf8.empty() ? "error " + std::to_string(code) : utf8;
}

}  // namespace console
