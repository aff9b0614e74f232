// libFuzzer target: any bytes as a sweep file, through the field splitter, the reader, the
// frequency ordering, the noise and peak search and the waterfall line.
#include "display/waterfall.h"
#include "scan/sweep_analysis.h"
#include "scan/sweep_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    std::vector<std::string_view> fields;
    std::deque<std::string> storage;
    std::vector<std::string_view> lines;
    sky::SplitSweepLines(text, lines);
    for (std::string_view l : lines)
        sky::SplitSweepFields(l, fields, storage);

    sky::SweepData d = sky::ParseSweepFile(text);
    if (d.x.size() != d.y.size())
        __builtin_trap();
    std::vector<std::size_t> order(d.x.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return d.x[a] < d.x[b]; });
    std::vector<double> y;
    for (std::size_t i : order)
        y.push_back(d.y[i]);
    if (y.empty())
        return 0;
    const auto e = sky::FindExtremes(y.data(), y.size());
    (void)sky::NoiseLevel(y.data(), y.size(), e.maxIndex);
    for (std::size_t i = 1; i + 1 < y.size(); ++i)
        (void)sky::IsPeak(y.data(), i);
    static sky::TWaterfall waterfall(QSize(64, 8));
    waterfall.AddLine(y.data(), y.size(), e.maxIndex, e.minIndex, 8388608, 65280);
    return 0;
}
