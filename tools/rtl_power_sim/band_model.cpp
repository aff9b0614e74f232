#include "band_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kReferenceBin = 10e3;  // the noise floor below is quoted per 10 kHz

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Deterministic uniform number in [0, 1) for (kind, index, salt): the band looks
// the same on every run and at every zoom level.
double unit(std::uint64_t kind, std::int64_t index, std::uint64_t salt = 0)
{
    const std::uint64_t h = mix(mix(kind * 0x100000001b3ULL ^ std::uint64_t(index)) ^ salt);
    return double(h >> 11) * 0x1.0p-53;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

double normalCdf(double u) { return 0.5 * std::erfc(-u / std::numbers::sqrt2); }
double normalPdf(double u) { return std::exp(-0.5 * u * u) / std::sqrt(2 * kPi); }

// Whether an intermittent transmitter is keyed at time t: each period-long slot is
// on or off independently, so a waterfall shows bursts coming and going.
bool keyed(std::uint64_t kind, std::int64_t channel, double duty, double period, double t)
{
    if (duty >= 1.0)
        return true;
    const double phase = unit(kind, channel, 11) * period;
    const auto slot = std::int64_t(std::floor((t + phase) / period));
    return unit(kind, channel, std::uint64_t(slot) * 2654435761ULL + 13) < duty;
}

// Slow fading of a continuous transmitter, about +-1 dB.
double fading(std::uint64_t kind, std::int64_t channel, double t)
{
    const double period = lerp(20.0, 60.0, unit(kind, channel, 21));
    return std::sin(2 * kPi * (t / period + unit(kind, channel, 22)));
}

// A channelised service: which channels are in use and how strong they are are
// fixed per channel; intermittent services key up in random slots.
struct Allocation {
    double first;      // first channel centre, Hz
    double last;       // last channel centre, Hz
    double spacing;    // channel raster, Hz (unused when first == last)
    double occupancy;  // share of channels in use
    double width;      // flat occupied width, Hz
    double sigma;      // edge softness, Hz
    double minDb;
    double maxDb;
    double duty;       // share of time keyed; 1 for continuous carriers
    double period;     // seconds per keying slot
};

constexpr std::array kAllocations{
    Allocation{87.6e6, 107.9e6, 100e3, 0.17, 150e3, 25e3, -35, -2, 1, 0},               // FM broadcast
    Allocation{26.965e6, 27.405e6, 10e3, 0.10, 6e3, 1.5e3, -50, -25, 0.3, 7},           // CB
    Allocation{118.0e6, 136.975e6, 25e3, 0.05, 5e3, 1.5e3, -45, -18, 0.3, 6},           // airband AM
    Allocation{144.0e6, 146.0e6, 12.5e3, 0.03, 8e3, 2e3, -45, -20, 0.25, 8},            // 2 m amateur
    Allocation{144.39e6, 144.39e6, 0, 1.0, 10e3, 2e3, -35, -25, 0.15, 2},               // APRS (Americas)
    Allocation{144.8e6, 144.8e6, 0, 1.0, 10e3, 2e3, -35, -25, 0.15, 2},                 // APRS (Europe)
    Allocation{156.0e6, 162.025e6, 25e3, 0.04, 10e3, 2e3, -45, -20, 0.3, 10},           // marine VHF
    Allocation{162.4e6, 162.55e6, 25e3, 0.6, 10e3, 2e3, -40, -25, 1, 0},                // weather radio
    Allocation{174.928e6, 239.2e6, 1.712e6, 0.3, 1.536e6, 20e3, -45, -28, 1, 0},        // DAB
    Allocation{315.0e6, 315.0e6, 0, 1.0, 30e3, 5e3, -30, -22, 0.1, 3},                  // ISM 315
    Allocation{380.0e6, 400.0e6, 25e3, 0.05, 18e3, 2e3, -50, -28, 1, 0},                // trunked digital
    Allocation{433.92e6, 433.92e6, 0, 1.0, 30e3, 5e3, -25, -18, 0.2, 1.5},              // ISM 433.92
    Allocation{433.075e6, 434.775e6, 25e3, 0.03, 15e3, 3e3, -45, -25, 0.1, 3},          // ISM 433 band
    Allocation{438.65e6, 439.425e6, 12.5e3, 0.1, 10e3, 2e3, -45, -25, 0.3, 12},         // 70 cm repeaters
    Allocation{446.00625e6, 446.19375e6, 12.5e3, 0.35, 8e3, 2e3, -40, -18, 0.35, 5},    // PMR446
    Allocation{474.0e6, 786.0e6, 8e6, 0.3, 7.6e6, 60e3, -48, -30, 1, 0},                // DVB-T
    Allocation{796.0e6, 816.0e6, 10e6, 0.7, 9e6, 100e3, -50, -35, 1, 0},                // LTE 800
    Allocation{868.3e6, 868.3e6, 0, 1.0, 125e3, 10e3, -40, -30, 0.15, 2},               // ISM 868
    Allocation{935.2e6, 959.8e6, 200e3, 0.25, 180e3, 20e3, -50, -25, 1, 0},             // GSM 900
    Allocation{1090.0e6, 1090.0e6, 0, 1.0, 2e6, 300e3, -40, -35, 0.7, 0.5},             // ADS-B
    Allocation{1616.0e6, 1626.5e6, 41.667e3, 0.02, 30e3, 5e3, -50, -35, 0.1, 1},        // satellite phones
};

constexpr std::uint64_t kCellKind = 1000;
constexpr std::uint64_t kWeakKind = 1001;
constexpr std::uint64_t kDriftKind = 1002;
constexpr double kCell = 1e6;
constexpr double kWeakCell = 100e3;
constexpr double kDriftCell = 20e6;
constexpr double kCrystal = 28.8e6;  // the dongle's reference; its harmonics leak in as spurs

bool overlaps(const Emitter& e, double low, double high)
{
    return e.centre + e.reach() >= low && e.centre - e.reach() <= high;
}

void addAllocations(std::vector<Emitter>& out, double low, double high, double t)
{
    for (std::size_t a = 0; a < kAllocations.size(); ++a) {
        const Allocation& al = kAllocations[a];
        const double reach = al.width / 2 + 6 * al.sigma;
        if (al.last + reach < low || al.first - reach > high)
            continue;
        std::int64_t firstIdx = 0;
        std::int64_t lastIdx = 0;
        if (al.spacing > 0) {
            firstIdx = std::max<std::int64_t>(0, std::int64_t(std::floor((low - reach - al.first) / al.spacing)));
            lastIdx = std::min(std::int64_t(std::llround((al.last - al.first) / al.spacing)),
                               std::int64_t(std::ceil((high + reach - al.first) / al.spacing)));
        }
        for (std::int64_t ch = firstIdx; ch <= lastIdx; ++ch) {
            if (unit(a, ch, 1) >= al.occupancy || !keyed(a, ch, al.duty, al.period, t))
                continue;
            Emitter e{al.first + double(ch) * al.spacing, al.width, al.sigma,
                      lerp(al.minDb, al.maxDb, unit(a, ch, 2))};
            if (al.duty >= 1.0)
                e.powerDb += fading(a, ch, t);
            if (overlaps(e, low, high))
                out.push_back(e);
        }
    }
}

// Carriers hashed from the frequency so that any stretch of the tuner's range has
// something on it; broadcast FM is left to its own table.
void addHashedCarriers(std::vector<Emitter>& out, double low, double high, double t)
{
    constexpr std::array kWidths{0.0, 6.25e3, 12.5e3, 25e3, 100e3};
    const auto first = std::int64_t(std::floor(low / kCell)) - 1;
    const auto last = std::int64_t(std::floor(high / kCell)) + 1;
    for (std::int64_t c = first; c <= last; ++c) {
        const double cellLow = double(c) * kCell;
        if (unit(kCellKind, c, 1) >= 0.5 || (cellLow >= 87e6 && cellLow < 108e6))
            continue;
        const double width = kWidths[std::size_t(unit(kCellKind, c, 2) * kWidths.size())];
        Emitter e{cellLow + lerp(0.05, 0.95, unit(kCellKind, c, 3)) * kCell, width,
                  width > 0 ? width / 8 : 200.0, lerp(-52, -22, unit(kCellKind, c, 4))};
        if (unit(kCellKind, c, 5) < 0.3) {
            if (!keyed(kCellKind, c, lerp(0.3, 0.6, unit(kCellKind, c, 6)), lerp(3, 15, unit(kCellKind, c, 7)), t))
                continue;
        } else {
            e.powerDb += fading(kCellKind, c, t);
        }
        if (overlaps(e, low, high))
            out.push_back(e);
    }
    const auto weakFirst = std::int64_t(std::floor(low / kWeakCell)) - 1;
    const auto weakLast = std::int64_t(std::floor(high / kWeakCell)) + 1;
    for (std::int64_t c = weakFirst; c <= weakLast; ++c) {
        if (unit(kWeakKind, c, 1) >= 0.12)
            continue;
        Emitter e{(double(c) + lerp(0.1, 0.9, unit(kWeakKind, c, 2))) * kWeakCell, 0,
                  lerp(300, 2000, unit(kWeakKind, c, 3)), lerp(-60, -44, unit(kWeakKind, c, 4))};
        if (overlaps(e, low, high))
            out.push_back(e);
    }
}

// One carrier per 20 MHz that wanders sinusoidally with the wall clock.
void addDrifters(std::vector<Emitter>& out, double low, double high, double t)
{
    const auto first = std::int64_t(std::floor(low / kDriftCell)) - 1;
    const auto last = std::int64_t(std::floor(high / kDriftCell)) + 1;
    for (std::int64_t c = first; c <= last; ++c) {
        const double home = (double(c) + lerp(0.15, 0.85, unit(kDriftKind, c, 1))) * kDriftCell;
        const double swing = lerp(0.2e6, 1.0e6, unit(kDriftKind, c, 2));
        const double period = lerp(60, 180, unit(kDriftKind, c, 3));
        const double centre = home + swing * std::sin(2 * kPi * (t / period + unit(kDriftKind, c, 4)));
        Emitter e{centre, 12e3, 3e3, lerp(-42, -25, unit(kDriftKind, c, 5))};
        if (overlaps(e, low, high))
            out.push_back(e);
    }
}

void addSpurs(std::vector<Emitter>& out, double low, double high)
{
    for (double n = std::max(1.0, std::ceil((low - 1e3) / kCrystal)); n * kCrystal <= high + 1e3; n += 1)
        out.push_back(Emitter{n * kCrystal, 0, 50, -40});
}

// Noise floor in dB per 10 kHz at 0 dB gain: man-made noise lifts the low end,
// the tuner loses sensitivity at the top, plus a fixed gentle ripple.
double floorDb(double f)
{
    double tilt = 0;
    if (f < 300e6)
        tilt = 4.0 * std::log(300e6 / std::max(f, 1e6)) / std::log(300e6 / 24e6);
    else if (f > 1000e6)
        tilt = -4.0 * (f - 1000e6) / 750e6;
    const double ripple = 0.6 * std::sin(2 * kPi * f / 3.7e6) + 0.4 * std::sin(2 * kPi * f / 11.3e6 + 1);
    return -43.0 + std::min(tilt, 6.0) + ripple;
}

// Strong signals run into the ADC's full scale; levels bend towards +20 dB.
double saturate(double db)
{
    constexpr double knee = 8.0;
    constexpr double headroom = 12.0;
    return db <= knee ? db : knee + headroom * (1 - std::exp(-(db - knee) / headroom));
}

} // namespace

double Emitter::cumulative(double f) const
{
    if (width < sigma)
        return normalCdf((f - centre) / sigma);
    // A flat block blurred by a Gaussian; the integral of the normal CDF is
    // u*Phi(u) + phi(u).
    const auto integral = [](double u) { return u * normalCdf(u) + normalPdf(u); };
    const double upper = integral((f - centre + width / 2) / sigma);
    const double lower = integral((f - centre - width / 2) / sigma);
    return std::clamp(sigma / width * (upper - lower), 0.0, 1.0);
}

std::vector<Emitter> emittersIn(double lowHz, double highHz, double unixTime)
{
    std::vector<Emitter> out;
    addAllocations(out, lowHz, highHz, unixTime);
    addHashedCarriers(out, lowHz, highHz, unixTime);
    addDrifters(out, lowHz, highHz, unixTime);
    addSpurs(out, lowHz, highHz);
    return out;
}

double nearestTunerGain(double requestedDb)
{
    static constexpr std::array kGains{0.0, 0.9, 1.4, 2.7, 3.7, 7.7, 8.7, 12.5, 14.4, 15.7,
                                       16.6, 19.7, 20.7, 22.9, 25.4, 28.0, 29.7, 32.8, 33.8, 36.4,
                                       37.2, 38.6, 40.2, 42.1, 43.4, 43.9, 44.5, 48.0, 49.6};
    // Compare in whole tenths of a dB, as the driver does.
    const int tenths = int(requestedDb * 10);
    double best = kGains.front();
    for (double g : kGains) {
        if (std::abs(tenths - int(std::lround(g * 10))) < std::abs(tenths - int(std::lround(best * 10))))
            best = g;
    }
    return best;
}

BandModel::BandModel(double gainDb, int ppm, bool peakHold, std::uint64_t seed)
    : gainDb_(gainDb), ppm_(ppm), peakHold_(peakHold), rng_(seed)
{
}

std::vector<double> BandModel::hopLevels(int centreHz, int bins, double stepHz, double unixTime)
{
    // The simulated crystal is exact, so -p detunes it: told the crystal runs ppm
    // fast, the driver tunes ppm low and every signal shows up ppm higher.
    const double shift = ppm_ * 1e-6 * centreHz;
    const auto trueFreq = [&](int j) { return centreHz + (j - bins / 2) * stepHz - shift; };
    const double binDb = 10 * std::log10(stepHz / kReferenceBin);
    // Noise rises half as fast as the gain, so more gain still improves the SNR.
    const double noiseGain = 0.5 * gainDb_ + (peakHold_ ? 5.0 : 0.0);

    const auto count = static_cast<std::size_t>(bins);
    std::vector<double> power(count);
    for (int j = 0; j < bins; ++j)
        power[std::size_t(j)] = std::pow(10.0, (floorDb(trueFreq(j)) + noiseGain + binDb) / 10);

    const double low = trueFreq(0) - stepHz / 2;
    const double high = trueFreq(bins - 1) + stepHz / 2;
    for (const Emitter& e : emittersIn(low, high, unixTime)) {
        const double total = std::pow(10.0, (e.powerDb + gainDb_) / 10);
        const int from = int(std::clamp(std::floor((e.centre - e.reach() - low) / stepHz), 0.0, double(bins)));
        const int to = int(std::clamp(std::ceil((e.centre + e.reach() - low) / stepHz), -1.0, double(bins - 1)));
        double below = e.cumulative(low + from * stepHz);
        for (int j = from; j <= to; ++j) {
            const double above = e.cumulative(low + (j + 1) * stepHz);
            power[std::size_t(j)] += total * (above - below);
            below = above;
        }
    }

    const double spread = peakHold_ ? 0.35 : 0.5;
    std::vector<double> levels(count);
    for (int j = 0; j < bins; ++j) {
        const double x = bins > 1 ? 2.0 * (j - bins / 2) / bins : 0.0;  // -1..1 across the tuner passband
        const double droop = -2.5 * std::pow(x, 6);
        const double db = 10 * std::log10(power[std::size_t(j)]) + droop + spread * jitter_(rng_);
        levels[std::size_t(j)] = saturate(db);
    }
    return levels;
}
