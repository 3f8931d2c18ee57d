// The few things the command line needs from the operating system besides
// loading the library and the console (tools/console): reading a file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace host {

// Reads the whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& utf8Path, std::string& bytes);
// Opens a file for binary reading by its UTF-8 name (the wide API on Windows,
// so non-ASCII names open); null when it cannot be opened.
std::FILE* OpenForReading(const std::string& utf8Path);
bool FileExists(const std::string& utf8Path);

}  // namespace host
