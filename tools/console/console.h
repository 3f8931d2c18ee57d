// The command line and the output of the command-line tools.  Inside the
// programs every text is UTF-8; where it goes decides what is written:
// - a Windows console gets UTF-16 through WriteConsoleW, so Cyrillic shows
//   right in cmd.exe and PowerShell whatever the console's code page, and the
//   console itself is left as it was (no SetConsoleOutputCP, which would
//   outlive the program in the user's window);
// - a file or a pipe, on every system, gets the UTF-8 bytes unchanged (on
//   Windows with CRLF line ends, as text written by a console program), the
//   same bytes as on Linux, so scripts and JSON readers see one encoding.
// Everything a program prints must go through here: on a Windows console,
// text written past it with printf would come out in the OEM code page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// mingw-w64 formats with its own C99 printf, whose conversions GCC checks as
// gnu_printf; clang knows only printf, which is that same set elsewhere.
#if defined(__MINGW32__)
#define CONSOLE_PRINTF_LIKE __attribute__((format(gnu_printf, 1, 2)))
#else
#define CONSOLE_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#endif

namespace console {

// The arguments as UTF-8, the program's name first.  Windows hands main()
// the ANSI code page's version, which loses every character outside it, so
// there the command line is read again in UTF-16.
std::vector<std::string> Arguments(int argc, char** argv);

enum class Stream { kOut, kError };

void Write(Stream stream, std::string_view utf8);
// printf-style formatting, then Write.
void Print(const char* format, ...) CONSOLE_PRINTF_LIKE;
void PrintError(const char* format, ...) CONSOLE_PRINTF_LIKE;
// Whether the stream is an interactive terminal or console (not a file, a
// pipe or the null device): where a line may be redrawn in place.
bool IsTerminal(Stream stream);
// On a terminal: moves the cursor to the start of the line `lines` lines up,
// so that a block of lines can be drawn again in place.
void CursorUp(Stream stream, int lines);

// The system's own text for one of its error numbers (errno on POSIX, a
// Windows or Windows Sockets error code on Windows), as UTF-8 without its
// line end; "error N" when the system has none.
std::string SystemErrorText(unsigned long code);

}  // namespace console
