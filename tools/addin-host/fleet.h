// Running one command on several scales at once: each scales on a thread of
// its own, one progress board for all, and at the end the outcome of each.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/addin-host/device_commands.h"
#include "tools/addin-host/progress_board.h"

namespace host {

// The work for one scales, run on its own thread; `progress` may be called
// from there.
using ScalesWork = std::function<ScalesOutcome(size_t scales, const ProgressReport& progress)>;

// Runs `work` for every scales at once, drawing the board meanwhile, and
// returns the outcomes in the order of `names`.
std::vector<ScalesOutcome> RunOnEveryScales(const std::vector<std::string>& names,
                                            const ScalesWork& work);

// The outcomes as the user reads them: for one scales its result line (a
// failure on standard error); for several a table (scales, goods
// done/total, time, result).  Returns kExitOk when every scales succeeded,
// else kExitFailed.
int ReportOutcomes(const std::vector<std::string>& names,
                   const std::vector<ScalesOutcome>& outcomes);
// The table alone, for the report and the tests.
std::string OutcomeTable(const std::vector<std::string>& names,
                         const std::vector<ScalesOutcome>& outcomes);

// A device command on every scales of the command, each with an add-in
// object of its own loaded from `library`.
int RunDeviceCommand(const std::string& library, const DeviceCommand& command);

}  // namespace host
