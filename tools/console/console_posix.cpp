#include <unistd.h>

#include <cstdio>

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

}  // namespace console
