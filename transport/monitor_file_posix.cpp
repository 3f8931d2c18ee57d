#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/codepage.h"
#include "transport/monitor.h"

namespace {
constexpr mode_t kNewFileMode = 0644;
}

std::unique_ptr<MonitorFile> MonitorFile::Open(const std::u16string& path) {
    std::string name = text::Utf16ToUtf8(path);
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, kNewFileMode);
    if (fd < 0) return nullptr;
    // One writer per file: a second port given the same name cannot open it
    // and switches its monitor off.  Viewers that only read are not stopped.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<MonitorFile>(new MonitorFile(fd));
}

MonitorFile::~MonitorFile() {
    close(static_cast<int>(handle_));
}

void MonitorFile::Append(const std::string& bytes) {
    const char* at = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(static_cast<int>(handle_), at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        at += n;
        left -= static_cast<size_t>(n);
    }
}

namespace transport {

bool PathExists(const std::u16string& path) {
    struct stat info;
    return stat(text::Utf16ToUtf8(path).c_str(), &info) == 0;
}

}  // namespace transport
