#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "program_os.h"
#include "tools/console/console.h"
#include "tools/console/language.h"

namespace emu_program {

std::string RequestsHelp() {
    return console::Say("\nSignals: SIGUSR1 writes the state; SIGINT/SIGTERM write it and exit.\n",
                        "\nСигналы: SIGUSR1 записывает состояние; SIGINT/SIGTERM записывают его и "
                        "завершают работу.\n");
}

namespace {
sigset_t RequestSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&signals, sig);
    return signals;
}
}  // namespace

void PrepareRequests() {
    const sigset_t signals = RequestSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

Request WaitForRequest(int ms) {
    static const sigset_t signals = RequestSignals();
    const timespec step{ms / 1000, (ms % 1000) * 1000000L};
    const int sig = sigtimedwait(&signals, nullptr, &step);
    if (sig == SIGINT || sig == SIGTERM) return Request::kStop;
    if (sig == SIGUSR1) return Request::kWriteState;
    return Request::kNone;
}

void Finished() {}

bool WriteFileReplacing(const std::string& path, const std::string& content) {
    // A device or a pipe ("/dev/null", "/dev/stdout") is written in place:
    // renaming a file over it would replace the device for the whole machine.
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        std::ofstream out(path, std::ios::binary);
        out << content;
        return static_cast<bool>(out.flush());
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::string SerialUnavailable() {
    return "";
}

std::string RealtimeUnavailable() {
    return "";
}

// The pseudo-terminal's number changes from run to run; a link gives the
// driver's settings one fixed device name.
bool LinkSerialDevice(const std::string& device, const std::string& link) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            console::PrintError("scales-emulator: %s exists and is not a link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(device.c_str(), link.c_str()) != 0) {
        console::PrintError("scales-emulator: cannot create the link %s\n", link.c_str());
        return false;
    }
    console::Print("serial link %s -> %s\n", link.c_str(), device.c_str());
    return true;
}

void RemoveSerialLink(const std::string& link) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) unlink(link.c_str());
}

}  // namespace emu_program
