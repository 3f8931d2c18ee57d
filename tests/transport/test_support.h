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

}  // namespace transport_test
