#pragma once
// Playing a recorded capture of many sweeps in the window, as if the sweeps came from the
// receiver: at the pace of their time stamps (times a speed factor), through the window's own
// ingest, chart and waterfall. Driven by a timer on the window thread; nothing is launched.
#include "scan/sweep_split.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string_view>
#include <vector>

namespace sky {

class TForm1;

class TReplay : public QObject {
    Q_OBJECT
public:
    // Sweeps whose time stamp cannot be read, or runs backwards, follow the one before after this
    // many recorded seconds.
    static constexpr double kUnknownGapSeconds = 1.0;

    // `form` must be a window started for replay (StartOptions::replay). `capture` is the whole
    // file; `speed` recorded seconds per second of wall time.
    TReplay(TForm1 &form, QByteArray capture, double speed, QString name, QObject *parent = nullptr);

    // Reads `path` into a replay; null with `error` set when the file cannot be read.
    static std::unique_ptr<TReplay> FromFile(TForm1 &form, const QString &path, double speed, QString &error);

    // Shows the file's range in the parameter controls, makes them read-only and plays the first
    // sweep; the rest follow on the timer.
    void Start();

    int SweepCount() const { return static_cast<int>(spans_.size()); }
    int SweepsPlayed() const { return next_; }
    int SweepsShown() const { return shown_; }
    bool Finished() const { return finished_; }
    // When sweep i is due, in milliseconds after the first.
    double DueMs(int i) const { return dueMs_.at(static_cast<std::size_t>(i)); }
    // The notice shown at the end.
    QString EndText() const;

signals:
    void finished();

private:
    void playDue();
    void showRange(std::string_view sweepText);

    TForm1 &form_;
    QByteArray capture_; // the spans are views into it
    QString name_;
    std::vector<SweepSpan> spans_;
    std::vector<double> dueMs_;
    QTimer timer_;
    QElapsedTimer clock_;
    int next_ = 0;  // the next sweep to play
    int shown_ = 0; // sweeps the window showed
    bool failureSaid_ = false; // a sweep that could not be shown was told once
    bool finished_ = false;
};

} // namespace sky
