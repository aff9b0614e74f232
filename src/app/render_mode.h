#pragma once
#include "app/command_line.h"

#include <cstdio>

namespace sky {

class TForm1;

// Headless render: each sweep file is split into its sweeps, which go in order through the
// window's own ingest, chart and waterfall (the last sweep's trace over a waterfall of them all);
// the window is written as a PNG, and one JSON line per file goes to `out`: what the last sweep
// shows, `sweeps` read and, for a file that failed, `error` with the reason. A file stops at its
// first sweep that fails. Returns 0 when every file was read, 1 when any failed, 2 when the
// picture cannot be written.
int RunRender(const CommandLine &cl, FILE *out, FILE *err);

// The same into a window started with StartOptions::renderOnly, without the picture; true when
// every file was read.
bool RenderInto(TForm1 &form, const CommandLine &cl, FILE *out);

} // namespace sky
