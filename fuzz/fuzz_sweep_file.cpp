// libFuzzer target: any bytes as a sweep file, through the field splitter and the shipped ingest
// (reader, frequency ordering, extremes, noise and peak search), then the waterfall line.
#include "display/waterfall.h"
#include "scan/sweep_file.h"
#include "scan/sweep_ingest.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    std::vector<std::string_view> fields;
    std::deque<std::string> storage;
    std::vector<std::string_view> lines;
    sky::SplitSweepLines(text, lines);
    for (std::string_view l : lines)
        sky::SplitSweepFields(l, fields, storage);

    static sky::SweepFindings f; // reused as the window reuses it
    sky::IngestSweep(text, true, f);
    const auto &x = f.data.x, &y = f.data.y;
    if (x.size() != y.size() || !std::is_sorted(x.begin(), x.end()))
        __builtin_trap();
    if (f.peakCount > y.size() || (!y.empty() && (f.maxIndex >= y.size() || f.minIndex >= y.size())))
        __builtin_trap();
    if (!f.data.ok || y.empty())
        return 0;
    static sky::TWaterfall waterfall(QSize(64, 8));
    waterfall.AddLine(y.data(), y.size(), f.maxIndex, f.minIndex, 8388608, 65280);
    return 0;
}
