#pragma once
// From the text of one sweep file to what the display shows: the points in ascending frequency,
// the strongest and weakest bins, the average noise level and the peaks above it.
#include "scan/sweep_file.h"
#include "scan/trace_average.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sky {

// Peaks above the noise are those higher than this many dB over it.
inline constexpr double kPeakMarginDb = 0.25;

struct SweepFindings {
    // The points in ascending frequency (equal frequencies keep file order), the value count, the
    // step text and whether the whole file was read. A caller may swap x and y out; the buffers
    // it swaps in are reused by the next sweep.
    SweepData data;
    std::size_t maxIndex = 0, minIndex = 0; // first strongest and first weakest bin
    std::optional<double> noiseDb;          // empty when no bin is left to average
    // Peaks: peakCount positions and levels (a caller may swap the arrays out). Where the sweep's
    // points are held compactly (data.compact), the peaks' levels are hundredths: in peakYh, not peakY.
    std::vector<double> peakX, peakY;
    std::vector<std::int16_t> peakYh;
    std::size_t peakCount = 0;
    // The levels are the average of the sweeps so far (see TTraceAverage), not this sweep's own;
    // these are then in liveLevels.
    bool averaged = false;
    std::vector<float> liveLevels;
    // The average with this sweep in it, for the caller to commit when it shows the sweep.
    TTraceAverage::Pending average;
    // Working buffers of the ordering (the few overlapped bins of a hop) and of the peak search
    // (a bit per bin).
    std::vector<double> tailX, tailY;
    std::vector<std::uint64_t> peakBits;

    std::size_t PointCount() const { return data.PointCount(); }
    // Read, ordered and analysed: everything the status panels show is known.
    bool Complete() const { return data.ok && data.PointCount() > 0 && noiseDb.has_value(); }
};

// First strongest and first weakest bin (the search starts from -1000 and +1000 dB).
struct SweepExtremes {
    std::size_t maxIndex = 0;
    std::size_t minIndex = 0;
};
SweepExtremes FindExtremes(const double *y, std::size_t n);
// The same for levels held as whole hundredths (see platform/hundredths.h); so are the
// overloads below.
SweepExtremes FindExtremes(const std::int16_t *y, std::size_t n);

// The average level of the noise: the mean of the levels (in dB, signed) leaving out the first
// two bins and the 21 bins centred on the strongest one; when that leaves no bin, the mean of
// every bin but the strongest (of the only bin, for one). Empty only for no bins.
std::optional<double> NoiseLevel(const double *y, std::size_t n, std::size_t maxIndex);
std::optional<double> NoiseLevel(const std::int16_t *y, std::size_t n, std::size_t maxIndex);

// A strict maximum, or the first or last bin of a flat top. Needs 1 <= i <= n - 2. Without
// branches: on noise a peak test is a coin toss the processor cannot predict.
inline bool IsPeak(const double *y, std::size_t i) {
    const double p = y[i - 1], a = y[i], q = y[i + 1];
    return ((a > p) & (q <= a)) | ((a == p) & (q < a));
}

// Marks the peaks of y[1 .. n-2] above `threshold` in `bits` (bit i % 64 of word i / 64 for
// bin i; the words are sized and cleared here) and returns how many there are; StoreMarkedPeaks
// then writes exactly that many positions and levels into px/py, in bin order.
std::size_t MarkPeaks(const double *y, std::size_t n, double threshold, std::vector<std::uint64_t> &bits);
std::size_t MarkPeaks(const std::int16_t *y, std::size_t n, double threshold, std::vector<std::uint64_t> &bits);
void StoreMarkedPeaks(const double *x, const double *y, const std::vector<std::uint64_t> &bits, double *px,
                      double *py);
void StoreMarkedPeaks(const FrequencyRunReader &x, const std::int16_t *y, const std::vector<std::uint64_t> &bits,
                      double *px, std::int16_t *py);

// Puts `f.data`'s points in ascending frequency, equal frequencies in file order: the result of
// a stable sort, reached by merging the hops in one pass when they come in order.
void OrderByFrequency(SweepFindings &f);

// Parses `text` and analyses it into `out`, reusing its buffers. Peaks are searched only when
// `findPeaks` is set. A file that fails part-way keeps the points read before the failure, in
// ascending order, with nothing analysed. With `average` given (and on), a whole sweep's levels
// are replaced by the running average before the analysis, so extremes, noise and peaks are
// those of the averaged trace; the average itself takes the sweep only when the caller commits
// `out.average` (a sweep read ahead and then dropped leaves it as it was). `offsetHz` is added to every frequency (an up- or down-converter
// in front of the receiver: the sweep is shown at the frequencies it came from).
void IngestSweep(std::string_view text, bool findPeaks, SweepFindings &out, TTraceAverage *average = nullptr,
                 double offsetHz = 0);
// The same for a sweep already read into `out.data` (by a SweepParser, say).
void AnalyseSweep(bool findPeaks, SweepFindings &out, TTraceAverage *average = nullptr, double offsetHz = 0);

} // namespace sky
