#include "sweep_plan.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kMaxRate = 2800000;      // widest usable hop
constexpr int kMinRate = 1000000;      // narrower ranges are sampled at kMaxRate and decimated
constexpr int kMaxHops = 3000;
constexpr int kMaxBinExp = 21;
constexpr int kMinBufferLength = 16384;
constexpr int kRetuneDumpBytes = 4096; // samples thrown away after each retune
constexpr double kSettleSeconds = 0.005;

bool toHz(double value, int& out)
{
    if (!(value >= 0.0) || value > double(INT_MAX))
        return false;
    out = int(value);  // truncation, as the CSV columns are whole Hz
    return true;
}

} // namespace

int SweepPlan::halfSpan() const
{
    const int loggedBins = int(double(bins()) * (1.0 - crop));
    return int(double(rate) * loggedBins / (double(bins()) * 2 * downsample));
}

int SweepPlan::firstBin() const
{
    return int(double(bins()) * crop * 0.5);
}

int SweepPlan::lastBin() const
{
    return bins() - 1 - int(double(bins()) * crop * 0.5);
}

std::int64_t SweepPlan::samplesPerPass() const
{
    if (binExp == 0)
        return 1;  // RMS mode counts passes
    const std::int64_t perBlock = 2 * std::int64_t(bins());
    const std::int64_t usable = bufferLength / downsample;
    return (usable + perBlock - 1) / perBlock * downsample;
}

double SweepPlan::passSeconds() const
{
    const double readSeconds = 0.5 * bufferLength / rate;  // two bytes per complex sample
    if (centres.size() <= 1)
        return readSeconds;
    const double retune = kSettleSeconds + 0.5 * kRetuneDumpBytes / rate;
    return double(centres.size()) * (retune + readSeconds);
}

std::optional<SweepPlan> planSweep(const PlanRequest& r, std::string& error)
{
    SweepPlan p;
    int maxBin = 0;
    if (!toHz(r.low, p.lower) || !toHz(r.high, p.upper)) {
        error = "frequencies must lie between 0 Hz and 2147483647 Hz";
        return std::nullopt;
    }
    if (p.lower >= p.upper) {
        error = "the low frequency must be below the high frequency";
        return std::nullopt;
    }
    if (!toHz(r.bin, maxBin) || maxBin <= 0) {
        error = "the bin size must be at least 1 Hz";
        return std::nullopt;
    }
    if (maxBin > kMaxRate) {
        error = "the bin size must not exceed 2.8 MHz";
        return std::nullopt;
    }
    if (!(r.crop >= 0.0 && r.crop < 1.0)) {
        error = "crop must be at least 0% and below 100%";
        return std::nullopt;
    }
    p.crop = r.crop;

    const int span = p.upper - p.lower;
    int hops = 0;
    int seen = 0;
    int used = 0;
    // Fewest equal hops whose (uncropped) width fits the dongle.
    for (int i = 1; i < 1500; ++i) {
        seen = span / i;
        used = int(double(seen) / (1.0 - p.crop));
        if (used <= kMaxRate) {
            hops = i;
            break;
        }
    }
    if (hops == 0) {
        error = "bandwidth too wide for the crop setting";
        return std::nullopt;
    }
    int downsample = 1;
    if (used < kMinRate) {
        hops = 1;
        downsample = kMaxRate / used;
        used *= downsample;
    }
    if (!r.boxcar && downsample > 1) {
        const int passes = int(std::log2(double(downsample)));
        downsample = 1 << passes;
        used = int(double(seen) * downsample / (1.0 - p.crop));
    }
    int binExp = 0;
    for (int e = 1; e <= kMaxBinExp; ++e) {
        if (double(used) / (double(1 << e) * downsample) <= double(maxBin)) {
            binExp = e;
            break;
        }
    }
    if (maxBin >= kMinRate) {
        // One RMS value per hop, hops exactly one bin wide.
        seen = maxBin;
        used = maxBin;
        hops = span / seen;
        binExp = 0;
        p.crop = 0.0;
    } else if (binExp == 0) {
        error = "bin size too small: a hop would need more than 2^21 FFT bins";
        return std::nullopt;
    }
    if (hops == 0) {
        error = "the range is narrower than one bin";
        return std::nullopt;
    }
    if (hops > kMaxHops) {
        error = "bandwidth too wide: more than 3000 hops";
        return std::nullopt;
    }
    p.hopWidth = seen;
    p.rate = used;
    p.binExp = binExp;
    p.downsample = downsample;
    const std::int64_t logged = std::int64_t(hops) * p.valuesPerLine();
    if (logged > kMaxLoggedValues) {
        error = "sweep would log " + std::to_string(logged) + " values, more than the limit of "
            + std::to_string(kMaxLoggedValues) + "; use a larger bin size or a narrower range";
        return std::nullopt;
    }
    const std::int64_t buffer = 2 * std::int64_t(p.bins()) * downsample;
    p.bufferLength = int(std::max<std::int64_t>(buffer, kMinBufferLength));
    p.centres.reserve(hops);
    for (int i = 0; i < hops; ++i) {
        const std::int64_t centre = std::int64_t(p.lower) + std::int64_t(i) * seen + seen / 2;
        if (centre + p.halfSpan() > INT_MAX) {
            error = "frequencies must lie between 0 Hz and 2147483647 Hz";
            return std::nullopt;
        }
        p.centres.push_back(int(centre));
    }
    return p;
}
