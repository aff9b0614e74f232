#pragma once
// The sweep tool's integration interval (-i), crop (-c) and FFT window (-w) as the user types
// them: each is checked and brought to the one form the tool reads. The texts go onto a command
// line that is split on blanks and started without a shell, so whatever passes is a single
// argument of plain characters.
#include <QString>
#include <QStringList>

#include <optional>

namespace sky {

// The integration interval: a positive decimal number with an optional unit s, m or h (seconds
// when none), e.g. "0.5s", "10", "1m", "2h", from 0.5 s to 24 h. The tool counts whole seconds
// and rounds, so anything shorter than 0.5 s would reach it as 0. Returns the text with the
// number written plainly ("0.50s" gives "0.5s", "010" gives "10"); nothing when the text is not
// such an interval, with the reason in `*error` when given.
std::optional<QString> ValidateInterval(const QString &text, QString *error = nullptr);
// The same, with the interval's length in seconds.
std::optional<QString> IntervalText(const QString &text, double *seconds, QString *error = nullptr);
// The length of a valid interval in seconds; 0 for a text that is not one.
double IntervalSeconds(const QString &text);

// The share of each hop's edges the tool drops: empty for none, else a decimal number of
// percent from 0 to 50, with or without a trailing '%' ("20", "20%", "12.5"). Returns "" for
// empty and otherwise the percent form with its '%' ("20" gives "20%"): the tool reads a bare
// number as a fraction, so "20" alone would mean 2000 %.
std::optional<QString> ValidateCrop(const QString &text, QString *error = nullptr);

// One of the tool's FFT windows (FftWindows()), in any case; returns it in lower case, the only
// case the tool recognises.
std::optional<QString> ValidateWindow(const QString &text, QString *error = nullptr);

// The tool's FFT windows: rectangle, hamming, blackman, blackman-harris, hann-poisson, youssef,
// kaiser, bartlett.
QStringList FftWindows();

} // namespace sky
