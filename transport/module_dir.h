// The directory of the add-in library itself: the port monitor looks for its
// marker file "log.txt" there and writes its files beside it.
#pragma once

#include <string>

namespace transport {

// Full directory, without a trailing separator; empty when the system cannot
// say where the library lies.
std::u16string LibraryDirectory();
// The separator of the system's file paths: '/' on POSIX, '\' on Windows.
char16_t PathSeparator();

// Tests point the monitor at a directory of their own.
void SetLibraryDirectoryForTesting(const std::u16string& directory);
void ClearLibraryDirectoryForTesting();

// The system's answer, without the test override (module_dir_<os>.cpp).
std::u16string SystemLibraryPath();

}  // namespace transport
