// Stand-in for rtl_power when no dongle is attached: takes rtl_power's command
// line, writes one sweep of simulated levels in rtl_power's CSV layout, and takes
// roughly as long as a real sweep. The output file is created at start, held open
// while the sweep runs and closed right before exit, like the real tool does.

#include "band_model.h"
#include "options.h"
#include "sweep_plan.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Longest a single sweep takes in real time, whatever -i asks for, so the
// simulator stays pleasant to work with.
constexpr double kMaxSweepSeconds = 2.0;
// Gain the simulated tuner settles on when -g is absent.
constexpr double kAutoGainDb = 29.7;
constexpr const char* kSerial = "00000001";

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onSignal(int) { stopRequested = 1; }

void usage()
{
    std::fputs(
        "rtl_power_sim, a simulated rtl_power for testing without a receiver\n\n"
        "Use: rtl_power_sim -f low:high:bin [-options] filename\n"
        "  -f low:high:bin   range and largest bin size in Hz (k, M, G suffixes;\n"
        "                    bin from 1 Hz to 2.8 MHz, 1 MHz and up gives one RMS bin per hop)\n"
        "  -g gain           tuner gain in dB (default: automatic)\n"
        "  -p ppm            frequency correction in ppm (default: 0)\n"
        "  -d index          device index; one simulated device, 0 (serial 00000001)\n"
        "  -i interval       integration time, s/m/h suffixes (default: 10 s)\n"
        "  -1                single sweep (always the case here)\n"
        "  -w window         FFT window name (accepted, no effect)\n"
        "  -c crop           share of each hop's edges to drop, e.g. 20% (default: 0)\n"
        "  -F size           power-of-two downsampling filter (0 or 9)\n"
        "  -P                peak hold\n"
        "  -e time, -s avg|iir, -t threads, -D, -O, -T   accepted, no effect\n"
        "  filename          output CSV, '-' for stdout\n\n"
        "Simulator options:\n"
        "  --sim-time-scale F   stretch the sweep's duration by F; 0 is instant\n"
        "                       (SKYVANE_SIM_FAST=1 in the environment does the same)\n"
        "  --sim-clock T        Unix time the drifting and bursting signals follow\n"
        "                       instead of the wall clock\n",
        stderr);
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "rtl_power_sim: %s\n\n", message.c_str());
    usage();
    return 1;
}

bool knownWindow(const std::string& name)
{
    for (const char* w : {"rectangle", "hamming", "blackman", "blackman-harris", "hann-poisson",
                          "youssef", "kaiser", "bartlett"}) {
        if (name == w)
            return true;
    }
    return false;
}

std::string timestamp(std::time_t t)
{
    char text[32] = {};
    if (const std::tm* local = std::localtime(&t))
        std::strftime(text, sizeof text, "%Y-%m-%d, %H:%M:%S", local);
    return text;
}

void appendNumber(std::string& line, const char* format, double value)
{
    // The program never calls setlocale, so printf stays in the C locale and
    // always writes '.' as the decimal point.
    char text[48];
    const int n = std::snprintf(text, sizeof text, format, value);
    if (n > 0)
        line.append(text, std::size_t(std::min<int>(n, sizeof text - 1)));
}

void sleepUntil(Clock::time_point deadline)
{
    while (!stopRequested) {
        const auto now = Clock::now();
        if (now >= deadline)
            return;
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(50)));
    }
}

double unixNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

namespace {

bool claimDevice()
{
    // One lock per user and device, in the folder SKYVANE_SIM_LOCK_DIR names (a test run gives
    // each test its own), else the user's runtime folder, else the temporary folder.
    const char* dir = nullptr;
    for (const char* var : {"SKYVANE_SIM_LOCK_DIR", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            dir = v;
            break;
        }
    }
    const std::string path = std::string(dir ? dir : "/tmp") + "/rtl_power_sim-" +
                             std::to_string(static_cast<long>(getuid())) + "-dev0.lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no lock to be had: behave as if the device were free
    return flock(fd, LOCK_EX | LOCK_NB) == 0; // fd stays open (and locked) until exit
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto opts = parseCommandLine(argc, argv, error);
    if (!opts)
        return fail(error);
    if (opts->help) {
        usage();
        return 1;
    }
    if (!opts->rangeGiven)
        return fail("no frequency range given (-f low:high:bin)");
    const auto range = parseRange(opts->range, error);
    if (!range)
        return fail(error);
    const auto plan = planSweep({range->low, range->high, range->bin, opts->crop, opts->firSize < 0}, error);
    if (!plan)
        return fail(error);
    if (opts->device != "0" && opts->device != kSerial)
        return fail("no device matches '" + opts->device + "'");
    // One program at a time can own a receiver. A second instance fails as rtl_power does with a
    // busy dongle: before it touches the output file. The lock goes with the process.
    if (!claimDevice()) {
        std::fprintf(stderr, "usb_claim_interface error -6\nFailed to open rtlsdr device #0.\n");
        return 1;
    }
    if (!knownWindow(opts->window))
        std::fprintf(stderr, "Unknown window '%s', using rectangle.\n", opts->window.c_str());

    const double gain = opts->gainDb ? nearestTunerGain(*opts->gainDb) : kAutoGainDb;
    // rtl_power reports in whole seconds, at least one.
    const double integration = std::max(1.0, std::round(std::clamp(opts->intervalSeconds, 0.0, 1e7)));
    const double passSeconds = plan->passSeconds();
    const auto passes = std::max<std::int64_t>(1, std::int64_t(integration / passSeconds));
    const std::int64_t samples = passes * plan->samplesPerPass();
    const double sweepSeconds = std::min(std::max(integration, passSeconds), kMaxSweepSeconds) * opts->timeScale;

    const std::size_t hops = plan->centres.size();
    std::fprintf(stderr, "Number of frequency hops: %zu\n", hops);
    std::fprintf(stderr, "Dongle bandwidth: %iHz\n", plan->rate);
    std::fprintf(stderr, "Downsampling by: %ix\n", plan->downsample);
    std::fprintf(stderr, "FFT bins per hop: %i\n", plan->bins());
    std::fprintf(stderr, "FFT bin size: %0.2fHz\n", plan->step());
    if (opts->gainDb)
        std::fprintf(stderr, "Tuner gain set to %0.1f dB.\n", gain);
    else
        std::fprintf(stderr, "Tuner gain set to automatic.\n");
    if (opts->ppm != 0)
        std::fprintf(stderr, "Tuner error set to %i ppm.\n", opts->ppm);

    const bool toStdout = opts->outputPath == "-";
    std::FILE* file = toStdout ? stdout : std::fopen(opts->outputPath.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "Failed to open %s\n", opts->outputPath.c_str());
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif

    // Every line of one sweep carries the same timestamp.
    const std::string stamp = timestamp(std::time(nullptr));
    const auto started = Clock::now();
    const double clockAtStart = opts->clock ? *opts->clock : unixNow();
    BandModel band(gain, opts->ppm, opts->peakHold,
                   std::random_device{}() ^ std::uint64_t(started.time_since_epoch().count()));

    const int bins = plan->bins();
    const double step = plan->step();
    bool writeFailed = false;
    std::string line;
    for (std::size_t i = 0; i < hops && !stopRequested && !writeFailed; ++i) {
        // Spread the sweep's time evenly: each hop's line appears once its share has passed.
        sleepUntil(started + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(sweepSeconds * double(i + 1) / double(hops))));
        if (stopRequested)
            break;
        const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
        const int centre = plan->centres[i];
        std::vector<double> levels = band.hopLevels(centre, bins, step, clockAtStart + elapsed);
        // The real tool overwrites the DC bin with its neighbour before shifting the
        // FFT halves, so the bin at bins/2 repeats the one after it.
        if (bins > 1)
            levels[std::size_t(bins / 2)] = levels[std::size_t((bins / 2 + 1) % bins)];

        line.assign(stamp);
        line += ", " + std::to_string(centre - plan->halfSpan()) + ", " + std::to_string(centre + plan->halfSpan())
            + ", ";
        appendNumber(line, "%.2f", step);
        line += ", " + std::to_string(samples);
        for (int j = plan->firstBin(); j <= plan->lastBin(); ++j) {
            line += ", ";
            appendNumber(line, "%.2f", levels[std::size_t(j)]);
        }
        // The last bin is written a second time, as current rtl_power builds do.
        line += ", ";
        appendNumber(line, "%.2f", levels[std::size_t(plan->lastBin())]);
        line += '\n';
        writeFailed = std::fwrite(line.data(), 1, line.size(), file) != line.size() || std::fflush(file) != 0;
    }

    if (toStdout ? std::fflush(file) != 0 : std::fclose(file) != 0)
        writeFailed = true;
    if (writeFailed) {
        std::fprintf(stderr, "Error writing %s\n", opts->outputPath.c_str());
        return 1;
    }
    if (stopRequested)
        std::fprintf(stderr, "Signal caught, sweep cut short.\n");
    return 0;
}
