#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/console/console.h"

namespace console {

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void Write(Stream stream, std::string_view utf8) {
    std::FILE* file = stream == Stream::kOut ? stdout : stderr;
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fflush(file);
}

bool IsTerminal(Stream stream) {
    return isatty(stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void CursorUp(Stream stream, int lines) {
    if (lines > 0) Write(stream, "\x1b[" + std::to_string(lines) + "F");
}

std::string SystemErrorText(unsigned long code) {
    return std::strerror(static_cast<int>(code));
}

}  // namespace console
