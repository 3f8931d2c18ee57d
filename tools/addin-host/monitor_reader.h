// Reading the add-in's port monitor file back.  The add-in writes one record
// per event of a port: opening and closing (direction "SYS"), every frame
// sent ("OUT >>>>>") and every chunk read ("IN <<<<<<"), each a header with
// the local time and the byte count, the connection, a ruler and the bytes
// as a hex dump of 20 a line.  Here each record becomes one readable line:
// the time, the gap since the record before, the direction, and the frame
// decoded as the scales read it (the scales emulator's decoder) or the reply
// and what it means.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum class MonitorDirection { kSystem, kSent, kReceived };

struct MonitorRecord {
    MonitorDirection direction = MonitorDirection::kSystem;
    std::string stamp;       // "2024-03-05 09:07:45.120", as written
    double seconds = 0;      // the stamp in seconds, to measure gaps
    std::string connection;  // "ETHERNET: 127.0.0.1:5001"
    std::vector<uint8_t> bytes;
};

// False with the line number and the reason when the text is not a monitor
// file; the records read before that point are kept.
bool ParseMonitorFile(const std::string& text, std::vector<MonitorRecord>& records,
                      std::string& error);
// One readable line per record.
std::vector<std::string> DescribeMonitor(const std::vector<MonitorRecord>& records);
// The monitor command: prints the file's records; the exit code.
int RunMonitor(const std::string& path);

}  // namespace host
