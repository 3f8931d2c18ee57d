#include <windows.h>

#include <cstdio>

#include "program_os.h"
#include "tools/console/language.h"

namespace emu_program {

std::string RequestsHelp() {
    return console::Say(
        "\nKeys: Ctrl+Break writes the state; Ctrl+C (or closing the window) writes it and exits.\n"
        "The serial line (--serial, --serial-link, --baud) and --realtime need Linux.\n",
        "\nКлавиши: Ctrl+Break записывает состояние; Ctrl+C (или закрытие окна) записывает его и "
        "завершает работу.\n"
        "Последовательной линии (--serial, --serial-link, --baud) и --realtime нужен Linux.\n");
}

namespace {
// Set by the console control handler, which runs on a thread of its own.
HANDLE g_stop = nullptr;
HANDLE g_writeState = nullptr;
HANDLE g_finished = nullptr;

// Windows ends the process when the handler of a closing window returns (and
// after about five seconds in any case): the handler waits until the state
// has been written.
constexpr DWORD kCloseWaitMs = 4500;

std::wstring Widen(const std::string& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            SetEvent(g_stop);
            return TRUE;
        case CTRL_BREAK_EVENT:
            SetEvent(g_writeState);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            SetEvent(g_stop);
            WaitForSingleObject(g_finished, kCloseWaitMs);
            return TRUE;
        default:
            return FALSE;
    }
}
}  // namespace

void PrepareRequests() {
    g_stop = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_writeState = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

Request WaitForRequest(int ms) {
    const HANDLE events[] = {g_stop, g_writeState};
    switch (WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(ms))) {
        case WAIT_OBJECT_0:
            return Request::kStop;
        case WAIT_OBJECT_0 + 1:
            return Request::kWriteState;
        default:
            return Request::kNone;
    }
}

void Finished() {
    SetEvent(g_finished);
}

bool WriteFileReplacing(const std::string& path, const std::string& content) {
    const std::wstring target = Widen(path);
    const std::wstring temporary = target + L".tmp";
    std::FILE* out = _wfopen(temporary.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    if (std::fclose(out) != 0 || !written) return false;
    // Unlike rename(), replaces a file that is already there.
    return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string SerialUnavailable() {
    return "the emulator's serial line is a pseudo-terminal and exists on Linux only; on Windows "
           "it serves UDP (point the driver at 127.0.0.1 and the port)";
}

std::string RealtimeUnavailable() {
    return "real-time scheduling (SCHED_FIFO) exists on Linux only: running at normal priority";
}

bool LinkSerialDevice(const std::string&, const std::string&) {
    return false;
}

void RemoveSerialLink(const std::string&) {}

}  // namespace emu_program
