#include "options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Length of the leading decimal number in `s` (sign, digits, optional fraction and
// exponent), or 0 when there is none. Unlike strtod this rejects "inf", "nan" and
// hexadecimal forms, which make no sense on this command line.
std::size_t numberLength(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            while (j < s.size() && s[j] >= '0' && s[j] <= '9')
                ++j;
            i = j;
        }
    }
    return i;
}

// Leading number plus the character right after it ('\0' at the end of text).
std::optional<double> leadingNumber(std::string_view s, char& next)
{
    const std::size_t len = numberLength(s);
    if (len == 0)
        return std::nullopt;
    std::string_view digits = s.substr(0, len);
    if (digits.front() == '+')
        digits.remove_prefix(1);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    next = len < s.size() ? s[len] : '\0';
    return value;
}

std::optional<double> parsePlain(std::string_view text)
{
    char next = 0;
    return leadingNumber(text, next);
}

// atoi-like: a leading integer, the rest ignored.
std::optional<int> parseInteger(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == start)
        return std::nullopt;
    std::string_view digits = text.substr(0, i);
    if (digits.front() == '+')
        digits.remove_prefix(1);
    int value = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

constexpr std::string_view kArgOptions = "fistdgpewcF";
constexpr std::string_view kFlagOptions = "1PDOhT";

bool applyOption(SimOptions& o, char opt, std::string_view arg, std::string& error)
{
    auto bad = [&](const char* what) {
        error = std::string("bad ") + what + " '" + std::string(arg) + "' for -" + opt;
        return false;
    };
    switch (opt) {
    case 'f':
        o.range = std::string(arg);
        o.rangeGiven = true;
        return true;
    case 'g':
        if (!(o.gainDb = parsePlain(arg)))
            return bad("gain");
        return true;
    case 'p': {
        const auto v = parseInteger(arg);
        if (!v)
            return bad("ppm error");
        o.ppm = *v;
        return true;
    }
    case 'i': {
        const auto v = parseSeconds(arg);
        if (!v)
            return bad("interval");
        o.intervalSeconds = *v;
        return true;
    }
    case 'e': {
        const auto v = parseSeconds(arg);
        if (!v)
            return bad("exit timer");
        o.exitTimerSeconds = *v;
        return true;
    }
    case 'c': {
        const auto v = parsePercent(arg);
        if (!v)
            return bad("crop");
        o.crop = *v;
        return true;
    }
    case 'F': {
        const auto v = parseInteger(arg);
        if (!v)
            return bad("FIR size");
        o.firSize = *v;
        return true;
    }
    case 'd':
        o.device = std::string(arg);
        return true;
    case 'w':
        o.window = std::string(arg);
        return true;
    case 's':
        if (arg != "avg" && arg != "iir")
            return bad("smoothing");
        return true;
    case 't':
        if (!parseInteger(arg))
            return bad("thread count");
        return true;
    case '1': o.singleShot = true; return true;
    case 'P': o.peakHold = true; return true;
    case 'D': o.directSampling = true; return true;
    case 'O': o.offsetTuning = true; return true;
    case 'T': o.biasTee = true; return true;
    case 'h': o.help = true; return true;
    }
    error = std::string("invalid option -- '") + opt + "'";
    return false;
}

bool applyLongOption(SimOptions& o, std::string_view name, std::string_view value, std::string& error)
{
    const auto v = parsePlain(value);
    if (name == "sim-time-scale") {
        if (!v || *v < 0 || *v > 100) {
            error = "--sim-time-scale takes a factor from 0 to 100";
            return false;
        }
        o.timeScale = *v;
        return true;
    }
    if (name == "sim-clock") {
        if (!v || *v < 0) {
            error = "--sim-clock takes a Unix time in seconds";
            return false;
        }
        o.clock = *v;
        return true;
    }
    error = "unrecognized option '--" + std::string(name) + "'";
    return false;
}

} // namespace

std::optional<double> parseFrequency(std::string_view text)
{
    char next = 0;
    auto value = leadingNumber(text, next);
    if (!value)
        return std::nullopt;
    switch (next) {
    case 'g': case 'G': return *value * 1e9;
    case 'm': case 'M': return *value * 1e6;
    case 'k': case 'K': return *value * 1e3;
    }
    return value;
}

std::optional<double> parseSeconds(std::string_view text)
{
    char next = 0;
    auto value = leadingNumber(text, next);
    if (!value)
        return std::nullopt;
    switch (next) {
    case 'h': case 'H': return *value * 3600.0;
    case 'm': case 'M': return *value * 60.0;
    }
    return value;
}

std::optional<double> parsePercent(std::string_view text)
{
    char next = 0;
    auto value = leadingNumber(text, next);
    if (!value)
        return std::nullopt;
    return next == '%' ? *value * 0.01 : *value;
}

std::optional<RangeArgs> parseRange(std::string_view text, std::string& error)
{
    const auto c1 = text.find(':');
    const auto c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string_view::npos) {
        error = "bad frequency range '" + std::string(text) + "', expected low:high:bin";
        return std::nullopt;
    }
    const auto low = parseFrequency(text.substr(0, c1));
    const auto high = parseFrequency(text.substr(c1 + 1, c2 - c1 - 1));
    const auto bin = parseFrequency(text.substr(c2 + 1));
    if (!low || !high || !bin) {
        error = "bad frequency range '" + std::string(text) + "', a part is not a number";
        return std::nullopt;
    }
    return RangeArgs{*low, *high, *bin};
}

std::optional<SimOptions> parseCommandLine(int argc, char** argv, std::string& error)
{
    SimOptions o;
    if (const char* fast = std::getenv("SKYVANE_SIM_FAST"); fast && *fast && std::strcmp(fast, "0") != 0)
        o.timeScale = 0.0;

    std::vector<std::string_view> positional;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);  // getopt-style permutation: positionals may sit anywhere
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a.starts_with("--")) {
            std::string_view name = a.substr(2);
            std::string_view value;
            if (const auto eq = name.find('='); eq != std::string_view::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
            } else if (name == "sim-time-scale" || name == "sim-clock") {
                if (i + 1 >= argc) {
                    error = "option '--" + std::string(name) + "' requires an argument";
                    return std::nullopt;
                }
                value = argv[++i];
            }
            if (!applyLongOption(o, name, value, error))
                return std::nullopt;
            continue;
        }
        // A cluster of short options; an option taking a value consumes the rest of
        // the word or, failing that, the next word whatever it looks like.
        for (std::size_t k = 1; k < a.size(); ++k) {
            const char opt = a[k];
            if (kArgOptions.find(opt) != std::string_view::npos) {
                std::string_view value;
                if (k + 1 < a.size()) {
                    value = a.substr(k + 1);
                } else if (i + 1 < argc) {
                    value = argv[++i];
                } else {
                    error = std::string("option requires an argument -- '") + opt + "'";
                    return std::nullopt;
                }
                if (!applyOption(o, opt, value, error))
                    return std::nullopt;
                break;
            }
            if (kFlagOptions.find(opt) == std::string_view::npos) {
                error = std::string("invalid option -- '") + opt + "'";
                return std::nullopt;
            }
            if (!applyOption(o, opt, {}, error))
                return std::nullopt;
        }
    }

    if (o.help)
        return o;
    if (positional.size() > 1) {
        error = "more than one output file given";
        return std::nullopt;
    }
    if (positional.empty()) {
        error = "no output file given";
        return std::nullopt;
    }
    o.outputPath = std::string(positional.front());
    return o;
}
