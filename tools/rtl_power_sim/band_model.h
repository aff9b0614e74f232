// A made-up but believable radio band: noise floor, steady transmitters on
// typical allocations, pseudo-random carriers derived from the frequency itself,
// bursting and drifting signals that follow the wall clock, and the dongle's own
// crystal spurs.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

struct Emitter {
    double centre = 0;   // true frequency, Hz
    double width = 0;    // flat occupied width, Hz; 0 for a single line
    double sigma = 1;    // edge softness (or line width when width is 0), Hz
    double powerDb = 0;  // total power in dB at 0 dB tuner gain

    // Fraction of the emitter's power below frequency f.
    double cumulative(double f) const;
    double reach() const { return width / 2 + 6 * sigma; }
};

// All emitters whose energy reaches [lowHz, highHz] at the given Unix time.
std::vector<Emitter> emittersIn(double lowHz, double highHz, double unixTime);

// Nearest gain the simulated R820T tuner offers, in dB.
double nearestTunerGain(double requestedDb);

class BandModel {
public:
    BandModel(double gainDb, int ppm, bool peakHold, std::uint64_t seed);

    // Levels in dB of one hop's FFT bins, lowest frequency first. The tuner is set
    // to centreHz; bin j is centred at centreHz + (j - bins/2) * stepHz.
    std::vector<double> hopLevels(int centreHz, int bins, double stepHz, double unixTime);

private:
    double gainDb_;
    int ppm_;
    bool peakHold_;
    std::mt19937_64 rng_;
    std::normal_distribution<double> jitter_{0.0, 1.0};
};
