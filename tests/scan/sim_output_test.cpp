// Runs the simulated sweep tool as a separate process and checks the CSV it
// writes against rtl_power's layout, its argument handling, its file handling
// while running, and the behaviour of the simulated band.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cmath>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const Args kExample{"-f", "430000000h:470000000h:50k", "-g", "12.5", "-p", "0", "-d", "0",
                    "-1", "-i", "0.5s", "-w", "hamming", "scan.csv"};

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "sim-test-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = fs::canonical(pattern);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Starts the simulator with its working directory in `dir` and its output in
// `log`. Fast mode skips the simulated sweep time.
pid_t start(const fs::path& dir, const Args& args, bool fast, const fs::path& log)
{
    std::vector<char*> argv{const_cast<char*>(SKYVANE_SIM_PATH)};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || chdir(dir.c_str()) != 0)
            _exit(126);
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
        if (fast ? setenv("SKYVANE_SIM_FAST", "1", 1) : unsetenv("SKYVANE_SIM_FAST"))
            _exit(126);
        execv(SKYVANE_SIM_PATH, argv.data());
        _exit(127);
    }
    return pid;
}

// Exit status of the process, or -1 if it died of a signal or hung (then it is killed).
int finish(pid_t pid)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Outcome {
    int status = -1;
    std::string log;
};

Outcome run(const fs::path& dir, const Args& args)
{
    TempDir logDir;
    const fs::path log = logDir.path() / "log.txt";
    Outcome o;
    o.status = finish(start(dir, args, true, log));
    std::ifstream in(log);
    o.log.assign(std::istreambuf_iterator<char>(in), {});
    return o;
}

struct Row {
    std::string date, time, step;
    long long low = 0, high = 0, samples = 0;
    std::vector<std::string> levels;
    double level(std::size_t i) const { return std::stod(levels.at(i)); }
};

long long wholeNumber(const std::string& s)
{
    std::size_t used = 0;
    const long long v = std::stoll(s, &used);
    if (used != s.size())
        throw std::invalid_argument("not a whole number: " + s);
    return v;
}

// rtl_power's own files separate fields with ", "; spreadsheet round trips drop the blank.
std::vector<Row> readCsv(const fs::path& file, std::size_t maxRows = SIZE_MAX)
{
    std::vector<Row> rows;
    std::ifstream in(file);
    std::string line;
    while (rows.size() < maxRows && std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');)
            f.push_back(field.starts_with(' ') ? field.substr(1) : field);
        if (f.size() < 8)
            throw std::runtime_error("short line: " + line);
        Row r{f[0], f[1], f[4], wholeNumber(f[2]), wholeNumber(f[3]), wholeNumber(f[5]), {}};
        r.levels.assign(f.begin() + 6, f.end());
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<double> allLevels(const std::vector<Row>& rows)
{
    std::vector<double> v;
    for (const Row& r : rows) {
        for (std::size_t i = 0; i < r.levels.size(); ++i)
            v.push_back(r.level(i));
    }
    return v;
}

// `pattern` is literal text with 'd' standing for any digit.
bool shaped(const std::string& s, std::string_view pattern)
{
    if (s.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (pattern[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != pattern[i])
            return false;
    }
    return true;
}

bool twoDecimals(const std::string& s)
{
    const auto dot = s.find('.');
    const std::size_t sign = s.starts_with('-') ? 1 : 0;
    return dot != std::string::npos && dot > sign && s.size() == dot + 3
        && shaped(s, std::string(sign, '-') + std::string(dot - sign, 'd') + ".dd");
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Runs the command line once for the whole suite.
class SimExampleSweep : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        before_ = std::time(nullptr);
        outcome_ = run(dir_->path(), kExample);
        after_ = std::time(nullptr);
        rows_ = readCsv(dir_->path() / "scan.csv");
    }
    static void TearDownTestSuite() { delete dir_; }

    static inline TempDir* dir_ = nullptr;
    static inline std::time_t before_ = 0, after_ = 0;
    static inline Outcome outcome_;
    static inline std::vector<Row> rows_;
};

TEST_F(SimExampleSweep, WritesOneSweepUnderOneLocalTimestamp)
{
    ASSERT_EQ(outcome_.status, 0) << outcome_.log;
    ASSERT_FALSE(rows_.empty());
    for (const Row& r : rows_) {
        EXPECT_TRUE(shaped(r.date, "dddd-dd-dd")) << r.date;
        EXPECT_TRUE(shaped(r.time, "dd:dd:dd")) << r.time;
        EXPECT_EQ(r.date + " " + r.time, rows_[0].date + " " + rows_[0].time);
    }
    std::tm tm{};
    std::istringstream(rows_[0].date + " " + rows_[0].time) >> std::get_time(&tm, "%Y-%m-%d %H:%M:%S");
    tm.tm_isdst = -1;
    const std::time_t stamped = std::mktime(&tm);
    EXPECT_GE(stamped, before_ - 1);
    EXPECT_LE(stamped, after_ + 1);
}

TEST_F(SimExampleSweep, HopsTileTheRangeAsRtlPowerDoes)
{
    // 40 MHz needs 15 hops of 2666666 Hz to stay under 2.8 MHz; 64 bins make 41666.66 Hz <= 50 kHz.
    ASSERT_EQ(rows_.size(), 15u);
    EXPECT_EQ(rows_.front().low, 430000000);
    EXPECT_EQ(rows_.front().high, 432666666);
    EXPECT_LE(rows_.back().high, 470000000);
    EXPECT_GE(rows_.back().high, 470000000 - 15);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& r = rows_[i];
        if (i > 0) {
            EXPECT_EQ(r.low, rows_[i - 1].high) << "gap or overlap before hop " << i;
        }
        EXPECT_LE(r.high - r.low, 2800000);
        EXPECT_EQ(r.step, "41666.66");
        EXPECT_GT(r.samples, 0);
    }
}

TEST_F(SimExampleSweep, LevelFieldsFollowRtlPowerQuirks)
{
    ASSERT_FALSE(rows_.empty());
    for (const Row& r : rows_) {
        const auto count = r.levels.size();
        EXPECT_EQ(double(count), std::round((r.high - r.low) / std::stod(r.step)) + 1);
        const auto bins = count - 1;
        ASSERT_TRUE(bins >= 2 && (bins & (bins - 1)) == 0) << bins;
        EXPECT_EQ(r.levels[bins], r.levels[bins - 1]) << "last bin printed twice";
        EXPECT_EQ(r.levels[bins / 2], r.levels[bins / 2 + 1]) << "DC bin overwritten by its neighbour";
        for (const auto& v : r.levels)
            EXPECT_TRUE(twoDecimals(v)) << v;
    }
    const auto levels = allLevels(rows_);
    const auto [lo, hi] = std::minmax_element(levels.begin(), levels.end());
    EXPECT_GE(*lo, -45.0);
    EXPECT_LE(*hi, 20.0);
    EXPECT_GE(*hi - median(levels), 10.0) << "no carrier stands out of the noise";
}

// Each command line reproduces a public capture; the simulator's frame must match
// the real tool's row for row.
TEST(SimOutputLayout, MatchesRealCaptures)
{
    if (!fs::is_directory(SKYVANE_SAMPLES_DIR))
        GTEST_SKIP() << "no real captures at " << SKYVANE_SAMPLES_DIR << " (the shared folder is not beside this clone)";
    const std::vector<std::pair<std::string, Args>> cases{
        {"dmooney65_fm_stations.csv", {"-f", "88M:106M:100k"}},
        {"jackie-c_fm_stations_win_1J.csv", {"-f", "88M:108M:125k"}},
        {"jj1bdx_nhkfm3_peakhold.csv",
         {"-f", "88.05M:88.15M:1k", "-i", "1", "-e", "5m", "-g", "8.7", "-w", "hamming", "-F", "9", "-P"}},
        {"gfckhz_scan_100M-1G_1M.csv", {"-f", "100M:1G:1M"}},
    };
    for (auto [sample, args] : cases) {
        SCOPED_TRACE(sample);
        TempDir dir;
        args.insert(args.end(), {"-1", "out.csv"});
        ASSERT_EQ(run(dir.path(), args).status, 0);
        const auto sim = readCsv(dir.path() / "out.csv");
        const auto real = readCsv(fs::path(SKYVANE_SAMPLES_DIR) / sample, sim.size());
        ASSERT_FALSE(sim.empty());
        ASSERT_EQ(sim.size(), real.size());
        for (std::size_t i = 0; i < sim.size(); ++i) {
            EXPECT_EQ(sim[i].low, real[i].low) << "row " << i;
            EXPECT_EQ(sim[i].high, real[i].high) << "row " << i;
            EXPECT_EQ(sim[i].step, real[i].step) << "row " << i;
            EXPECT_EQ(sim[i].levels.size(), real[i].levels.size()) << "row " << i;
        }
    }
}

TEST(SimArguments, BadCommandLinesFailWithoutCreatingAFile)
{
    const std::vector<Args> cases{
        {"-g", "10", "out.csv"},                               // no range
        {"-f", "470M:430M:50k", "out.csv"},                    // low above high
        {"-f", "430M:430M:50k", "out.csv"},                    // empty range
        {"-f", "430M:470M:0", "out.csv"},                      // zero bin
        {"-f", "430M:470M:-50k", "out.csv"},                   // negative bin
        {"-f", "430M:470M", "out.csv"},                        // no bin
        {"-f", "abc:470M:50k", "out.csv"},                     // not a number
        {"-f", "430M:470M:50k"},                               // no output file
        {"-f", "430M:470M:50k", "-x", "out.csv"},              // unknown option
        {"-f", "430M:470M:50k", "out.csv", "-g"},              // option without its value
        {"-f", "24M:1750M:1", "out.csv"},                      // billions of bins
        {"-f", "24M:1750M:300", "out.csv"},                    // over the per-sweep value limit
        {"-f", "430M:470M:50k", "-c", "100%", "out.csv"},      // crop everything
        {"-f", "430M:470M:50k", "-d", "7", "out.csv"},         // only device 0 exists
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        TempDir dir;
        const Outcome o = run(dir.path(), args);
        EXPECT_GT(o.status, 0);
        EXPECT_NE(o.log.find("Use: rtl_power_sim"), std::string::npos) << o.log;
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
}

TEST(SimArguments, AcceptsRtlPowerNumberSpellingsAndOptions)
{
    TempDir dir;
    ASSERT_EQ(run(dir.path(), {"-f", "430M:440M:50k", "plain.csv"}).status, 0);
    // Suffixes in either case, trailing text ignored, clustered flags, attached values.
    ASSERT_EQ(run(dir.path(), {"-f", "0.43G:440000kHz:50000Hz", "-1P", "-g20", "-e", "10m", "-c", "0%", "-F", "0",
                               "-D", "-O", "-T", "-s", "avg", "-t", "2", "spelled.csv"})
                  .status,
              0);
    const auto plain = readCsv(dir.path() / "plain.csv");
    const auto spelled = readCsv(dir.path() / "spelled.csv");
    ASSERT_EQ(plain.size(), spelled.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(plain[i].low, spelled[i].low);
        EXPECT_EQ(plain[i].high, spelled[i].high);
        EXPECT_EQ(plain[i].step, spelled[i].step);
    }
}

TEST(SimRun, HoldsTheFileOpenWhileWritingAndExitsOnItsOwn)
{
    TempDir dir, logDir;
    const fs::path file = dir.path() / "scan.csv";
    const auto begun = std::chrono::steady_clock::now();
    const pid_t pid = start(dir.path(), kExample, false, logDir.path() / "log.txt");
    ASSERT_GT(pid, 0);
    bool heldOpen = false, partialWhileOpen = false;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        bool openNow = false;
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "fd", ec)) {
            std::error_code linkError;
            openNow = openNow || fs::read_symlink(fd.path(), linkError) == file;
        }
        if (openNow) {
            heldOpen = true;
            std::ifstream in(file);
            const auto lines = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
            partialWhileOpen = partialWhileOpen || (lines > 0 && lines < 15);
        }
        if (std::chrono::steady_clock::now() - begun > std::chrono::seconds(20)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "simulator hangs";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(heldOpen);
    EXPECT_TRUE(partialWhileOpen) << "lines should appear hop by hop";
    EXPECT_GE(seconds, 0.7) << "a sweep should take about the integration time";
    EXPECT_LE(seconds, 5.0);
    EXPECT_EQ(readCsv(file).size(), 15u);
}

TEST(SimRun, ASecondInstanceFindsTheDeviceBusyAndLeavesTheFileAlone)
{
    TempDir dir, logDir, other;
    const pid_t pid = start(dir.path(), kExample, false, logDir.path() / "log.txt");
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const Outcome second = run(other.path(), kExample);
    EXPECT_NE(second.status, 0);
    EXPECT_FALSE(fs::exists(other.path() / "scan.csv"));
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readCsv(dir.path() / "scan.csv").size(), 15u);
}

// The band itself: fixed per frequency and time, moving with the clock, scaled by
// gain, shifted by the ppm correction.
std::vector<Row> sweep(const Args& args)
{
    TempDir dir;
    Args full = args;
    full.push_back("out.csv");
    const Outcome o = run(dir.path(), full);
    EXPECT_EQ(o.status, 0) << o.log;
    return readCsv(dir.path() / "out.csv");
}

TEST(SimBand, GainRaisesTheLevelUpToFullScale)
{
    const Args base{"-f", "430M:470M:50k", "--sim-clock", "1700000000"};
    auto with = [&](const char* gain) {
        Args a = base;
        a.insert(a.end(), {"-g", gain});
        return allLevels(sweep(a));
    };
    const auto g0 = with("0"), g40 = with("40"), gMax = with("49.6");
    EXPECT_GE(median(g40) - median(g0), 10.0);
    EXPECT_GT(median(gMax), median(g40));
    EXPECT_LE(*std::max_element(gMax.begin(), gMax.end()), 20.0);
    EXPECT_GE(*std::min_element(g0.begin(), g0.end()), -45.0);
}

TEST(SimBand, FollowsTheClockNotTheRun)
{
    auto at = [](const char* clock) { return allLevels(sweep({"-f", "430M:470M:50k", "-g", "20", "--sim-clock", clock})); };
    auto largestChange = [](const std::vector<double>& a, const std::vector<double>& b) {
        double most = 0;
        for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
            most = std::max(most, std::abs(a[i] - b[i]));
        return most;
    };
    const auto first = at("1700000000"), again = at("1700000000"), later = at("1700000060");
    ASSERT_EQ(first.size(), later.size());
    EXPECT_LT(largestChange(first, again), 6.0) << "same moment, only measurement noise may differ";
    EXPECT_GT(largestChange(first, later), 12.0) << "a minute later something should have moved or keyed";
}

TEST(SimBand, PpmCorrectionShiftsTheSpectrum)
{
    auto peak = [](const char* ppm) {
        const auto rows = sweep({"-f", "431.9M:432.3M:1k", "-g", "29.7", "-p", ppm, "--sim-clock", "1700000000"});
        EXPECT_EQ(rows.size(), 1u);
        const Row& r = rows.at(0);
        std::size_t best = 0;
        for (std::size_t i = 0; i + 1 < r.levels.size(); ++i)
            best = r.level(i) > r.level(best) ? i : best;
        return std::pair{double(r.low) + double(best) * std::stod(r.step), std::stod(r.step)};
    };
    const auto [base, step] = peak("0");
    // 100 ppm of 432 MHz: signals appear 43.2 kHz higher, or lower with -100.
    EXPECT_NEAR(peak("100").first - base, 43200.0, 2 * step);
    EXPECT_NEAR(peak("-100").first - base, -43200.0, 2 * step);
}

} // namespace
