// How a frequency range is split into hops and FFT bins. The integer arithmetic
// follows rtl_power's own so that low/high/step columns match its CSV exactly,
// truncation included.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SweepPlan {
    int lower = 0;
    int upper = 0;
    int hopWidth = 0;       // spacing of hop centres
    int rate = 0;           // dongle sample rate
    int binExp = 0;         // 2^binExp FFT bins per hop; 0 = one RMS "giant" bin
    int downsample = 1;
    double crop = 0.0;
    int bufferLength = 0;   // bytes read per hop and pass
    std::vector<int> centres;

    int bins() const { return 1 << binExp; }
    double step() const { return double(rate) / (double(bins()) * downsample); }
    int halfSpan() const;               // centre-to-edge distance written in the CSV
    int firstBin() const;               // first FFT bin written after cropping
    int lastBin() const;                // last FFT bin written (it is written twice)
    int valuesPerLine() const { return lastBin() - firstBin() + 2; }
    std::int64_t samplesPerPass() const;  // "samples" column contribution of one pass
    double passSeconds() const;           // time a real dongle needs for one pass over all hops
};

// Largest number of dB values one sweep may log. rtl_power allows up to 3000 hops
// of 2^21 bins each (several gigabytes of CSV per sweep); beyond about 8 million
// values a sweep is useless to any viewer and only fills memory and disk, so the
// simulator refuses instead.
inline constexpr std::int64_t kMaxLoggedValues = std::int64_t(1) << 23;

struct PlanRequest {
    double low = 0;
    double high = 0;
    double bin = 0;
    double crop = 0;
    bool boxcar = true;  // false with -F: power-of-two downsampling
};

std::optional<SweepPlan> planSweep(const PlanRequest& request, std::string& error);
