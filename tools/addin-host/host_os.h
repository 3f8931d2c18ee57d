// The few things the command line needs from the operating system besides
// loading the library and printing (tools/console): UTF-8 arguments and
// reading a file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace host {

// The command-line arguments as UTF-8 text (Windows hands out ANSI argv, so
// they are re-read there in UTF-16).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Reads the whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& utf8Path, std::string& bytes);
// Opens a file for binary reading by its UTF-8 name (the wide API on Windows,
// so non-ASCII names open); null when it cannot be opened.
std::FILE* OpenForReading(const std::string& utf8Path);
bool FileExists(const std::string& utf8Path);

}  // namespace host
