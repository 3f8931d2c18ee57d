// The commands that talk to the scales through the add-in.  Each one sends
// the connection settings with SetParameter ("conntype" 1 = Ethernet,
// "ehost", "eport"), registers the scales with Open, runs its methods by
// DeviceID, reports a failure with GetLastError's Russian text, and Closes.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/addin-host/addin_session.h"
#include "tools/addin-host/cli_args.h"

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
    std::string name;  // "test", "upload", "clear", "message", "hotkeys", "good"
    Address address;
    std::string goodsFile;  // upload
    std::u16string goodsDocument;
    bool whole = false;         // upload the document in one UploadGoods call
    int32_t messageNumber = 0;  // message
    std::string messageText;
    int32_t lineWidth = 0;                             // 0 = no limit
    std::vector<std::pair<int32_t, int32_t>> hotKeys;  // (key number, code)
    std::string goodName;                              // good
    int32_t goodFields[kGoodFieldCount] = {};
};

// The options that take a value in some device command (besides --lib and
// --address, which every command takes).
std::set<std::string> DeviceValueOptions();

// Checks the command line of a device command and reads the goods file.
bool PrepareDeviceCommand(const CommandLine& line, DeviceCommand& command, std::string& error);
int RunDeviceCommand(AddInSession& addin, const DeviceCommand& command);

}  // namespace host
