// Command line of the simulated sweep tool: rtl_power's options plus a few
// simulator-only long options.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct SimOptions {
    std::string range;              // -f low:high:bin, parsed later by parseRange()
    bool rangeGiven = false;
    std::optional<double> gainDb;   // -g; absent means automatic gain
    int ppm = 0;                    // -p
    double intervalSeconds = 10.0;  // -i
    double exitTimerSeconds = 0.0;  // -e (irrelevant for a single sweep, parsed for validation)
    double crop = 0.0;              // -c, as a fraction
    int firSize = -1;               // -F; -1 when absent (boxcar downsampling)
    std::string device = "0";       // -d
    std::string window = "rectangle"; // -w
    bool singleShot = false;        // -1
    bool peakHold = false;          // -P
    bool directSampling = false;    // -D
    bool offsetTuning = false;      // -O
    bool biasTee = false;           // -T
    bool help = false;              // -h
    std::string outputPath;         // last positional; "-" means stdout
    double timeScale = 1.0;         // --sim-time-scale, or 0 with SKYVANE_SIM_FAST
    std::optional<double> clock;    // --sim-clock: Unix time the band model uses instead of now
};

struct RangeArgs {
    double low = 0;
    double high = 0;
    double bin = 0;
};

// Parses argv. On failure returns std::nullopt and sets `error` to a one-line reason.
std::optional<SimOptions> parseCommandLine(int argc, char** argv, std::string& error);

// "low:high:bin" with each part in rtl_power's frequency notation.
std::optional<RangeArgs> parseRange(std::string_view text, std::string& error);

// Number parsers in the style of the C atof family: a leading number is required,
// anything after it (beyond the recognised suffix) is ignored.
std::optional<double> parseFrequency(std::string_view text);  // k/M/G suffix
std::optional<double> parseSeconds(std::string_view text);    // s/m/h suffix
std::optional<double> parsePercent(std::string_view text);    // % suffix divides by 100
