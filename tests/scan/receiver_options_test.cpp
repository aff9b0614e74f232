// The interval, crop and FFT window: what the checks let through, in which form, and where it
// lands on the sweep tool's command line once that is split into arguments.
#include "platform/platform.h"
#include "scan/receiver_options.h"
#include "scan/sweep_tool.h"

#include <gtest/gtest.h>

#include <utility>

using namespace sky;

namespace {

ScanParams scan() {
    ScanParams p;
    p.dongleNumber = "0";
    p.freqMinHz = "430000000";
    p.freqMaxHz = "470000000";
    p.freqStep = "50k";
    p.gainLevel = "12.5";
    p.ppmCorrection = "0";
    return p;
}

// The argument right after `option`, or "(missing)".
QString after(const QStringList &args, const char *option) {
    const qsizetype i = args.indexOf(QLatin1String(option));
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : QStringLiteral("(missing)");
}

// Texts a user, a settings file or someone up to no good might offer each field.
const char *const kHostile[] = {"1s -f 0:1:1", "hamming;rm", "1s;rm -rf ~", "$(reboot)", "`id`",  "1s\n-f", "1s\t2",
                                " 1s",         "1s ",        "\"1s\"",      "1s|cat",    "1s&&x", "-1"};

} // namespace

TEST(ReceiverOptions, IntervalsTheToolReads) {
    const std::pair<const char *, const char *> good[] = {{"0.5s", "0.5s"},   {"10", "10"},
                                                          {"1m", "1m"},       {"2h", "2h"},
                                                          {"0.50s", "0.5s"},  {"010", "10"},
                                                          {".5", "0.5"},      {"3.", "3"},
                                                          {"86400", "86400"}, {"86400s", "86400s"},
                                                          {"1440m", "1440m"}, {"24h", "24h"},
                                                          {"0.75m", "0.75m"}, {"0.000139h", "0.000139h"}};
    for (const auto &[in, out] : good) {
        QString error;
        const std::optional<QString> v = ValidateInterval(in, &error);
        ASSERT_TRUE(v.has_value()) << in << ": " << error.toStdString();
        EXPECT_EQ(*v, out) << in;
        EXPECT_TRUE(error.isEmpty()) << in;
    }
    // Zero, too short to be a whole second when rounded, past a day, other units, not a plain
    // number: refused, with a reason.
    const char *bad[] = {"",         "0",     "0s",     "0.0h",  "0.4s", "0.49", "0.000138h", "86401",
                         "86400.5s", "1441m", "24.01h", "25h",   "-1s",  "+1s",  "1d",        "1ms",
                         "1S",       "1H",    "1e3",    "1e-3s", "inf",  "nan",  "0x10",      "1,5",
                         "1.2.3",    "s",     ".",      "1ss",   "١٠",   "１０", "1 s"};
    for (const char *in : bad) {
        QString error;
        EXPECT_FALSE(ValidateInterval(QString::fromUtf8(in), &error).has_value()) << in;
        EXPECT_FALSE(error.isEmpty()) << in;
    }
    for (const char *in : kHostile)
        EXPECT_FALSE(ValidateInterval(in).has_value()) << in;
}

TEST(ReceiverOptions, CropsAsPercent) {
    const std::pair<const char *, const char *> good[] = {{"", ""},
                                                          {"20", "20%"},
                                                          {"20%", "20%"},
                                                          {"0", "0%"},
                                                          {"0%", "0%"},
                                                          {"50", "50%"},
                                                          {"50%", "50%"},
                                                          {"12.5", "12.5%"},
                                                          {"020.50%", "20.5%"},
                                                          {".5%", "0.5%"},
                                                          {"0.0000001", "0.0000001%"}};
    for (const auto &[in, out] : good) {
        QString error;
        const std::optional<QString> v = ValidateCrop(in, &error);
        ASSERT_TRUE(v.has_value()) << in << ": " << error.toStdString();
        EXPECT_EQ(*v, out) << in;
    }
    const char *bad[] = {"51",   "50.01", "100%", "-5",  "+5",  "20%%",   "%",    "%20",
                         "20 %", "0.2.1", "1e1",  "inf", "nan", "twenty", "20,5", "٢٠"};
    for (const char *in : bad) {
        QString error;
        EXPECT_FALSE(ValidateCrop(QString::fromUtf8(in), &error).has_value()) << in;
        EXPECT_FALSE(error.isEmpty()) << in;
    }
    for (const char *in : kHostile)
        EXPECT_FALSE(ValidateCrop(in).has_value()) << in;
}

TEST(ReceiverOptions, WindowsInAnyCaseComeOutAsTheToolSpellsThem) {
    const QStringList windows = FftWindows();
    ASSERT_FALSE(windows.isEmpty());
    for (const QString &w : windows) {
        EXPECT_EQ(ValidateWindow(w), w);
        EXPECT_EQ(ValidateWindow(w.toUpper()), w);
        EXPECT_EQ(w, w.toLower()); // the tool knows them in lower case only
    }
    EXPECT_EQ(ValidateWindow("Blackman-Harris"), "blackman-harris");
    EXPECT_EQ(ValidateWindow("HaMmInG"), "hamming");
    const char *bad[] = {"",          "ham",  "hanning",  "hamming2", "blackman harris", "blackman_harris",
                         "hamming\n", "rect", "Hamming ", "-w"};
    for (const char *in : bad) {
        QString error;
        EXPECT_FALSE(ValidateWindow(in, &error).has_value()) << in;
        EXPECT_TRUE(error.contains("hamming")) << in; // the message lists what is possible
    }
    for (const char *in : kHostile)
        EXPECT_FALSE(ValidateWindow(in).has_value()) << in;
}

TEST(ReceiverOptions, DefaultsLeaveTheCommandLineAsItWas) {
    EXPECT_EQ(BuildSweepParameters(scan()),
              "-f 430000000h:470000000h:50k -g 12.5 -p 0 -d 0 -1 -i 0.5s -w hamming scan.csv");
    // Defaults given explicitly, or in another spelling, are the same line.
    ScanParams p = scan();
    p.interval = "0.50s";
    p.crop = "";
    p.window = "HAMMING";
    EXPECT_EQ(BuildSweepParameters(p), BuildSweepParameters(scan()));
}

TEST(ReceiverOptions, EachOptionReachesItsOwnArgument) {
    ScanParams p = scan();
    p.interval = "10m";
    p.crop = "20";
    p.window = "Blackman-Harris";
    const QString line = BuildSweepParameters(p);
    EXPECT_TRUE(line.contains(" -1 -i 10m -c 20% -w blackman-harris scan.csv")) << line.toStdString();
    const QStringList args = SplitCommandLine(line);
    EXPECT_EQ(args.size(), 16);
    EXPECT_EQ(after(args, "-i"), "10m");
    EXPECT_EQ(after(args, "-c"), "20%");
    EXPECT_EQ(after(args, "-w"), "blackman-harris");
    EXPECT_EQ(after(args, "-f"), "430000000h:470000000h:50k");
    EXPECT_EQ(args.last(), "scan.csv");
    // Without a crop there is no -c at all, rather than an empty one that would take the next
    // argument as its value.
    p.crop = "";
    EXPECT_FALSE(SplitCommandLine(BuildSweepParameters(p)).contains("-c"));
    EXPECT_EQ(SplitCommandLine(BuildSweepParameters(p)).size(), 14);
}

TEST(ReceiverOptions, ATextThatFailsItsCheckNeverReshapesTheCommandLine) {
    const QStringList plain = SplitCommandLine(BuildSweepParameters(scan()));
    for (const char *in : kHostile) {
        for (int field = 0; field < 3; ++field) {
            ScanParams p = scan();
            (field == 0 ? p.interval : field == 1 ? p.crop : p.window) = in;
            EXPECT_EQ(SplitCommandLine(BuildSweepParameters(p)), plain) << in << " in field " << field;
        }
    }
    // Empty interval and window: their defaults, not "-i -w hamming" with -w as the interval.
    ScanParams p = scan();
    p.interval = "";
    p.window = "";
    EXPECT_EQ(SplitCommandLine(BuildSweepParameters(p)), plain);
}
