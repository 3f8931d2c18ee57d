#include <windows.h>

#include "transport/monitor.h"

namespace {

LPCWSTR Wide(const std::u16string& path) {
    return reinterpret_cast<LPCWSTR>(path.c_str());
}

}  // namespace

std::unique_ptr<MonitorFile> MonitorFile::Open(const std::u16string& path) {
    // Shared for reading only: a viewer may follow the file, a second port
    // given the same name cannot open it and switches its monitor off.
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    // Records are always appended to what earlier ports wrote.
    SetFilePointer(file, 0, nullptr, FILE_END);
    return std::unique_ptr<MonitorFile>(new MonitorFile(reinterpret_cast<intptr_t>(file)));
}

MonitorFile::~MonitorFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void MonitorFile::Append(const std::string& bytes) {
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

namespace transport {

bool PathExists(const std::u16string& path) {
    return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace transport
