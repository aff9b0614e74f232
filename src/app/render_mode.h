#pragma once
#include "app/command_line.h"

namespace sky {

// Headless render: each sweep file is read as one sweep through the window's own ingest, chart
// and waterfall, the window is written as a PNG, and one JSON line per file goes to `out`.
// Returns 0 when every file was read, 1 when any failed, 2 when the picture cannot be written.
int RunRender(const CommandLine &cl, FILE *out, FILE *err);

} // namespace sky
