// The few things the command line needs from the operating system besides
// loading the library: UTF-8 arguments, the console, and reading a file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace host {

// The command-line arguments as UTF-8 text (Windows hands out ANSI argv, so
// they are re-read there in UTF-16).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Makes the console show UTF-8 output (Windows consoles default to an OEM page).
void PrepareConsole();
bool StdoutIsTerminal();
// Reads the whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& utf8Path, std::string& bytes);
// Opens a file for binary reading by its UTF-8 name (the wide API on Windows,
// so non-ASCII names open); null when it cannot be opened.
std::FILE* OpenForReading(const std::string& utf8Path);
bool FileExists(const std::string& utf8Path);

}  // namespace host
