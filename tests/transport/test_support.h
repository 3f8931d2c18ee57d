// Helpers shared by the transport tests: a private directory per test that
// stands in for the library's directory, whole-file reads, and a fixed clock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "transport/local_time.h"

namespace transport_test {

// A fresh directory, removed again with the object.  While it lives the
// monitor takes it for the library's directory.
class LibraryDir {
  public:
    explicit LibraryDir(bool withMarker);
    ~LibraryDir();
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path File(const std::string& name) const { return path_ / name; }
    void CreateMarker() const;

  private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
std::vector<std::string> FilesIn(const std::filesystem::path& directory);

// 2024-03-05 07:08:09.012, as every record stamped in the tests shows it.
transport::LocalTime FixedTime();
constexpr char kFixedStamp[] = "2024-03-05 07:08:09.012";

// The two fixed lines every monitor record starts with: the rule above the
// header, and the column ruler (with the empty line after it) below the
// description.
constexpr char kRule[] =
    "\r\n____________________________________________________________________\r\n";
constexpr char kRuler[] =
    "  N     1  2  3  4  5  6  7  8  9 10   11 12 13 14 15 16 17 18 19 20\r\n\r\n";

// `n` bytes counting up from `first`, wrapping after FF.
std::vector<uint8_t> Counting(uint8_t first, size_t n);
// A whole frame of 00 01 02 ... FF 00 01 02: every byte value, the ones a
// terminal would take as line control included.
std::vector<uint8_t> CountingFrame();

}  // namespace transport_test
