// What the scales-emulator program needs from the operating system besides
// its links (server.h) and its output (tools/console): the user's requests
// to stop or to write the state, writing a file whole, the serial device's
// link, and what this system cannot do.  program_posix.cpp and
// program_win32.cpp implement it.
#pragma once

#include <string>

namespace emu_program {

// The help text's last lines: how the user asks for the state and for exit.
std::string RequestsHelp();

enum class Request { kNone, kStop, kWriteState };

// Called once before any thread starts.  POSIX: blocks SIGINT, SIGTERM and
// SIGUSR1 so that only WaitForRequest receives them.  Windows: a console
// control handler takes Ctrl+C (stop) and Ctrl+Break (write the state).
void PrepareRequests();
// Waits up to `ms` for a request; kNone when none came.
Request WaitForRequest(int ms);
// Called once the state is written after a stop: a Windows console that is
// being closed waits for this before it ends the process.
void Finished();

// Writes `content` beside `path` and renames it over `path`, so a script
// never reads half a file.  `path` is UTF-8.
bool WriteFileReplacing(const std::string& path, const std::string& content);

// "" when the emulator can serve a serial line here, else why not.
std::string SerialUnavailable();
// "" when --realtime can be asked for here, else what happens instead.
std::string RealtimeUnavailable();

// Makes `link` a symbolic link to the serial device; only a link is ever
// replaced.  False (with the reason printed) on failure.
bool LinkSerialDevice(const std::string& device, const std::string& link);
void RemoveSerialLink(const std::string& link);

}  // namespace emu_program
