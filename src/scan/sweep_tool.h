#pragma once
// The sweep tool's command line.
#include "scan/scan_state.h"

#include <QString>

namespace sky {

// The parameter text handed to the sweep tool, pieces in their fixed order and the six scan
// texts put in unchanged: nothing is quoted or escaped. The interval, crop and window go in as
// their validators return them (receiver_options.h); one that does not pass goes in as its
// default (0.5s, none, hamming), so a bad text can never add, drop or swallow an argument.
// Callers check them first to tell the user.
QString BuildSweepParameters(const ScanParams &p);

// The name the start-up clean-up looks for in lower-cased executable names.
inline constexpr const char *kSweepToolProcessName = "rtl_power";

// The sweep file the tool writes in its working folder.
inline constexpr const char *kSweepFileName = "scan.csv";

} // namespace sky
