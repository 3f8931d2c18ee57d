// addin-host check FILE: the goods document checked exactly as UploadGoods
// checks it (the add-in's own checking code, linked in, not a second
// reading), without loading the add-in or contacting any scales.  Every
// problem is listed, not only the first, each on a line of its own that
// starts "FILE:LINE:": the good's place, PLU and name, the attribute, the
// text found and what is allowed; then the warnings that do not stop an
// upload.  `upload` runs the same check first and sends nothing when it
// finds an error.
#pragma once

#include <string>

#include "scales/goods_fields.h"
#include "tools/addin-host/cli_args.h"

namespace host {

// What the check of one document found.
enum class CheckVerdict { kClean, kErrors, kUnreadable };

// Checks a document (UTF-16, as the add-in receives it) named `file` in the
// report, for scales with these label settings, and prints the report:
// problems on standard output when `quiet` is false, else only the errors,
// on standard error.
CheckVerdict CheckDocument(const std::u16string& document, const std::string& file,
                           const scales::LabelSettings& labels, bool quiet);

// The command (`check FILE`): 0 clean (warnings allowed), 1 with errors, 2
// unreadable or wrong arguments.
int RunCheckCommand(const CommandLine& line);

}  // namespace host
