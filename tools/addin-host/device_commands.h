// The commands that talk to the scales through the add-in.  For each scales
// they send the connection settings with SetParameter ("conntype" 1 =
// Ethernet, "ehost", "eport", and the label settings given), register the
// scales with Open, run their methods by DeviceID, take a failure's text
// from GetLastError as the add-in gives it, and Close.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/addin-host/addin_session.h"
#include "tools/addin-host/cli_args.h"
#include "tools/addin-host/goods_document.h"
#include "tools/addin-host/progress_board.h"
#include "tools/addin-host/scales_list.h"

namespace host {

// Fields of SendGoodToScalesV1 after the name, in the add-in's order.
enum GoodField {
    kGoodCode,
    kGoodPlu,
    kGoodLabel,
    kGoodLabelExtra,
    kGoodDepartment,
    kGoodBarcode,
    kGoodPrice,
    kGoodUnit,
    kGoodShelfLife,
    kGoodExtra1,
    kGoodExtra2,
    kGoodExtra3,
    kGoodExtra4,
    kGoodFieldCount,
};

struct DeviceCommand {
    std::string name;  // "test", "upload", "clear", "message", "hotkeys", "good", "ping"
    std::vector<ScalesTarget> scales;
    LabelChoice labels;     // the command line's label options, for every scales
    std::string goodsFile;  // upload
    std::u16string goodsDocument;
    std::vector<GoodPiece> pieces;  // the document's goods, one document each
    bool parsed = false;            // the document parses
    bool whole = false;             // upload the document in one UploadGoods call
    size_t from = 1;                // the first good to send, counted from 1
    int32_t messageNumber = 0;      // message
    std::string messageText;
    int32_t lineWidth = 0;                             // 0 = no limit
    std::vector<std::pair<int32_t, int32_t>> hotKeys;  // (key number, code)
    std::string goodName;                              // good
    int32_t goodFields[kGoodFieldCount] = {};
};

// Checks the command line of a device command, reads the scales list and
// the goods file.
bool PrepareDeviceCommand(const CommandLine& line, DeviceCommand& command, std::string& error);

// Told after each good: `done` of `total` goods of the document are in.
using ProgressReport = std::function<void(size_t done, size_t total)>;

// Runs the command on one scales with an add-in object of its own.
ScalesOutcome RunOnScales(AddInSession& addin, const DeviceCommand& command,
                          const ScalesTarget& scales, const ProgressReport& progress);

// What the command is about to do, said before it starts ("" for nothing).
std::string Announcement(const DeviceCommand& command);

}  // namespace host
