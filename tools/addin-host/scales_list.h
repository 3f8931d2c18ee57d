// The scales a device command drives: every --address, then every line of
// the --scales file, each with its own name and label settings.  A shop's
// list might read
//
//     # meat and fish counters
//     192.168.1.21:5001  Мясо  dept=5
//     192.168.1.22       Рыба  dept=6 label=2
//
// one scales a line: the address, then an optional name (the rest of the
// words, quotes allowed) and label settings written NAME=VALUE; "#" starts
// a comment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/addin-host/cli_args.h"

namespace host {

// The settings of the label the scales print, as SetParameter names them;
// each given one is sent before the scales are registered.
struct LabelChoice {
    std::optional<int32_t> label;    // "etiknum"  (--label, label=)
    std::optional<int32_t> dept;     // "etikdep"  (--dept, dept=)
    std::optional<int32_t> barcode;  // "etikbarcode" (--barcode, barcode=)
    std::optional<int32_t> unit;     // "etikodv"  (--unit, unit=)
    // The values of `over` where it has one, ours elsewhere.
    LabelChoice With(const LabelChoice& over) const;
};

struct ScalesTarget {
    Address address;
    std::string name;  // the address as written when the list gives none
    LabelChoice labels;
};

// Reads the label options of the command line (--label, --dept, --barcode,
// --unit).
bool ReadLabelOptions(const CommandLine& line, LabelChoice& labels, std::string& error);

// One line of a scales list; false with the reason for a line that is not
// an address with a name and settings.  A blank or comment line gives
// `empty` true.
bool ParseScalesLine(const std::string& text, ScalesTarget& target, bool& empty,
                     std::string& error);

// The scales of a command line: every --address, then the --scales file's;
// 127.0.0.1:5001 when neither is given.  The command line's label options
// apply to every scales, a list line's own settings override them.
bool CollectScales(const CommandLine& line, std::vector<ScalesTarget>& scales, std::string& error);

}  // namespace host
