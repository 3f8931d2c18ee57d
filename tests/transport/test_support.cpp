#include "tests/transport/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "transport/module_dir.h"
#include "transport/monitor.h"
#include "transport/port.h"

namespace transport_test {
namespace fs = std::filesystem;

LibraryDir::LibraryDir(bool withMarker) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? test->name() : "transport";
    std::random_device random;
    path_ = fs::temp_directory_path() / ("rls-transport-" + name + "-" + std::to_string(random()));
    fs::create_directories(path_);
    if (withMarker) CreateMarker();
    transport::SetLibraryDirectoryForTesting(path_.u16string());
    transport::SetMonitorClockForTesting(&FixedTime);
}

LibraryDir::~LibraryDir() {
    transport::ClearLibraryDirectoryForTesting();
    transport::SetMonitorClockForTesting(nullptr);
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void LibraryDir::CreateMarker() const {
    std::ofstream(path_ / "log.txt").put('\n');
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<std::string> FilesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(directory)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> Counting(uint8_t first, size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
    return v;
}

std::vector<uint8_t> CountingFrame() {
    return Counting(0x00, transport::kFrameSize);
}

transport::LocalTime FixedTime() {
    return transport::LocalTime{2024, 3, 5, 7, 8, 9, 12};
}

}  // namespace transport_test
