#include "app/replay.h"

#include "app/main_form.h"
#include "app/spin_double.h"
#include "app/tray.h"
#include "platform/numtext.h"
#include "scan/sweep_file.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>
#include <string>

namespace sky {

TReplay::TReplay(TForm1 &form, QByteArray capture, double speed, QString name, QObject *parent)
    : QObject(parent), form_(form), capture_(std::move(capture)), name_(std::move(name)) {
    SplitSweeps(std::string_view(capture_.constData(), static_cast<std::size_t>(capture_.size())), spans_);
    // Due times from the time stamps, relative to the first sweep.
    const double msPerRecordedSecond = 1000.0 / (speed > 0 ? speed : 1.0);
    dueMs_.reserve(spans_.size());
    std::optional<double> previous;
    for (const SweepSpan &s : spans_) {
        const std::optional<double> t = SweepTimeSeconds(s.text);
        double due = 0;
        if (!dueMs_.empty()) {
            const double gap = t && previous && *t >= *previous ? *t - *previous : kUnknownGapSeconds;
            due = dueMs_.back() + gap * msPerRecordedSecond;
        }
        dueMs_.push_back(due);
        if (t)
            previous = t;
    }
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TReplay::playDue);
}

std::unique_ptr<TReplay> TReplay::FromFile(TForm1 &form, const QString &path, double speed, QString &error) {
    const QFileInfo info(path);
    QByteArray bytes;
    QString why;
    if (!ReadCaptureFile(path, bytes, why)) {
        // Say what is there: a folder or a FIFO given by mistake is no missing file.
        error = QStringLiteral("cannot replay %1: %2").arg(path, why);
        if (info.exists() && !info.isFile())
            error += QStringLiteral(" (") + FileKind(info) + QLatin1Char(')');
        return nullptr;
    }
    return std::make_unique<TReplay>(form, std::move(bytes), speed, info.fileName());
}

void TReplay::Start() {
    // Nothing of the receiver's parameters applies to a recording: the controls only show it.
    for (QWidget *w : {static_cast<QWidget *>(form_.dongle), static_cast<QWidget *>(form_.ppm),
                       static_cast<QWidget *>(form_.step), static_cast<QWidget *>(form_.gain),
                       static_cast<QWidget *>(form_.startSpin), static_cast<QWidget *>(form_.stopSpin)})
        if (w)
            w->setEnabled(false);
    clock_.start();
    playDue();
}

void TReplay::showRange(std::string_view sweepText) {
    if (!form_.startSpin || !form_.stopSpin)
        return;
    // The range the tool was asked for: the lowest hop start to the highest hop end (fields 2
    // and 3), not the last bin's frequency.
    std::vector<std::string_view> lines, fields;
    std::deque<std::string> storage;
    SplitSweepLines(sweepText, lines);
    std::optional<double> low, high;
    for (const std::string_view line : lines) {
        SplitSweepFields(line, fields, storage);
        if (fields.size() < 4)
            continue;
        const auto a = ParseFloat(QString::fromLatin1(fields[2].data(), static_cast<qsizetype>(fields[2].size())));
        const auto b = ParseFloat(QString::fromLatin1(fields[3].data(), static_cast<qsizetype>(fields[3].size())));
        if (a)
            low = low ? std::min(*low, *a) : *a;
        if (b)
            high = high ? std::max(*high, *b) : *b;
    }
    if (!low || !high || !(*high > *low))
        return;
    // Each sweep's own: a log may hold sweeps of several ranges.
    form_.startSpin->setValue(*low / kHzPerMHz);
    form_.stopSpin->setValue(*high / kHzPerMHz);
    if (form_.step->currentText() != form_.LastSweep().step)
        form_.step->setEditText(form_.LastSweep().step);
}

void TReplay::playDue() {
    if (finished_)
        return;
    if (next_ < SweepCount()) {
        const SweepSpan &s = spans_[static_cast<std::size_t>(next_)];
        ++next_;
        // As with the receiver: while the display is stopped, sweeps go by unseen.
        if (!form_.flags.visualizationStopped) {
            form_.AssembleSweep(s.text);
            if (form_.LastSweep().ok) {
                ++shown_;
                ++form_.sweepCount;
                showRange(s.text);
            } else if (!failureSaid_) {
                // A file that is no capture would otherwise play empty frames without a word.
                failureSaid_ = true;
                if (form_.tray)
                    form_.tray->ShowBalloon(1, QStringLiteral("%1: sweep %2 not shown: %3")
                                                   .arg(name_)
                                                   .arg(next_)
                                                   .arg(SweepFailureText(s)));
            }
            form_.UpdateViewAfterPass();
        }
        form_.statusText.set(QStringLiteral("Replay %1/%2").arg(next_).arg(SweepCount()));
    }
    if (next_ >= SweepCount()) {
        finished_ = true;
        form_.statusText.set(QStringLiteral("Replay finished"));
        if (form_.tray)
            form_.tray->ShowBalloon(1, EndText());
        emit finished();
        return;
    }
    // The next sweep at its time from the start: a slow sweep does not delay the ones after it.
    const double wait = dueMs_[static_cast<std::size_t>(next_)] - static_cast<double>(clock_.elapsed());
    timer_.start(static_cast<int>(std::clamp(std::ceil(wait), 0.0, 2.0e9)));
}

QString TReplay::EndText() const {
    return QStringLiteral("End of %1: %2 of %3 sweeps shown").arg(name_).arg(shown_).arg(SweepCount());
}

} // namespace sky
