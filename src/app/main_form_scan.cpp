// TForm1's part of the scan cycle: the three steps the worker hands to the window thread.
#include "app/main_form.h"

#include "app/spin_double.h"
#include "app/tray.h"
#include "platform/error.h"
#include "platform/numtext.h"
#include "platform/platform.h"
#include "scan/receiver_options.h"
#include "scan/sweep_file.h"
#include "scan/sweep_tool.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <utility>

namespace sky {

void TForm1::StartScanThread() {
    scanThread = std::make_unique<th>(flags, statusText, *this, this, SweepFilePath());
    scanThread->start();
}

QString TForm1::LaunchHoldReason() const {
    if (flags.visualizationStopped)
        return kVisualizationStoppedText;
    // An empty text would shift every later argument: "-g" would swallow "-p".
    if (params.freqStep.trimmed().isEmpty() || params.gainLevel.trimmed().isEmpty())
        return QStringLiteral("Step and Gain must not be empty");
    if (ParseFloat(params.freqMaxHz).value_or(0) <= ParseFloat(params.freqMinHz).value_or(0))
        return QStringLiteral("Stop must be above Start");
    if (const QFileInfo f(SweepFilePath()); (f.exists() || f.isSymLink()) && !IsSweepFileCandidate(f))
        return kNotASweepFileText;
    return {};
}

void TForm1::LaunchSweepTool() {
    // One run at a time; a failed run waits out its back-off; a change waits until it settles.
    if (flags.paramChangePending || sweepTool_->Running() || retryTimer_->isActive())
        return HoldLaunch({});
    if (const QString reason = LaunchHoldReason(); !reason.isEmpty()) {
        if (reason == kNotASweepFileText)
            HoldForNonSweepFile();
        else
            HoldLaunch(reason);
        return;
    }
    // A sweep file that is there has not been read (every read deletes it): the next run would
    // truncate it. It is read first; its ingest asks for the launch again.
    if (IsSweepFileCandidate(QFileInfo(SweepFilePath()))) {
        flags.awaitingSweepFile = true;
        return HoldLaunch({});
    }
    launchHeld_ = false;
    holdText_.clear();
    sweepSinceLaunch_ = false;
    runParameters_ = ToolParameters();
    runClock_.start();
    toolRunning_ = true;
    sweepTool_->Start(sweepToolPath, SplitCommandLine(runParameters_), pluginsDir);
    // A run that goes on far longer than a sweep of this range takes is ended (a hung tool).
    hungToolTimer_->start(static_cast<int>(std::min<qint64>(HungToolLimitMs(), std::numeric_limits<int>::max())));
}

qint64 TForm1::HungToolLimitMs() const {
    // Three times the last sweep of these parameters; before one is known, as long as the tool
    // integrates (twice over, a sweep may take several hops) and the least wait on top.
    const auto known = sweepMs_.find(runParameters_);
    const auto integration = static_cast<qint64>(IntervalSeconds(params.interval) * 1000);
    return std::max<qint64>({minHungToolMs, known != sweepMs_.end() ? 3 * known->second : 0,
                             2 * integration + minHungToolMs});
}

void TForm1::EndToolRun(const QString &why) {
    hungToolTimer_->stop();
    if (!sweepTool_->Running())
        return;
    sweepTool_->Stop();
    toolRunning_ = false;
    // What it wrote is no whole sweep.
    if (IsSweepFileCandidate(QFileInfo(SweepFilePath())))
        QFile::remove(SweepFilePath());
    flags.awaitingSweepFile = false;
    if (!why.isEmpty()) {
        HoldLaunch(why);
        if (tray)
            tray->ShowBalloon(1, why);
        retryTimer_->start(1000);
    } else {
        launchHeld_ = false;
        holdText_.clear();
        flags.launchRequested = true; // the next run at once
        if (scanThread)
            scanThread->Wake();
    }
}

void TForm1::HungToolTimeout() {
    if (sweepTool_->Running())
        EndToolRun(QStringLiteral("%1 ran %2 s without finishing a sweep and was ended")
                       .arg(QFileInfo(sweepToolPath).fileName())
                       .arg(runClock_.elapsed() / 1000));
}

void TForm1::HoldLaunch(const QString &reason) {
    launchHeld_ = true;
    if (!reason.isEmpty()) {
        holdText_ = reason;
        statusText.set(reason);
    }
}

void TForm1::HoldForNonSweepFile() {
    // Launches wait until it is gone; look again now and then.
    HoldLaunch(kNotASweepFileText);
    if (!retryTimer_->isActive())
        retryTimer_->start(kNotASweepFileRetryMs);
}

void TForm1::RequestLaunchUnlessHeld() {
    if (!launchHeld_)
        flags.launchRequested = true;
    else if (!holdText_.isEmpty())
        statusText.set(holdText_); // keep saying why nothing happens
}

void TForm1::ReleaseLaunch() {
    if (!launchHeld_)
        return;
    launchHeld_ = false;
    holdText_.clear();
    flags.launchRequested = true;
}

void TForm1::SweepToolEnded(int exitCode, const QString &lastErrorLine) {
    hungToolTimer_->stop();
    toolRunning_ = false;
    const bool fileThere = IsSweepFileCandidate(QFileInfo(SweepFilePath()));
    if (exitCode == 0 && (sweepSinceLaunch_ || fileThere)) {
        sweepMs_[runParameters_] = runClock_.elapsed();
        ReleaseLaunch(); // a launch that found this run still going goes now
        if (scanThread)
            scanThread->Wake(); // its sweep is read now, not at the next poll
        return;
    }
    // A run that failed after writing part of a sweep leaves no sweep: the part is not shown.
    if (fileThere && !sweepSinceLaunch_)
        QFile::remove(SweepFilePath());
    // It ended without a sweep: say why (the tool's own last words), once as a notice, and
    // try again after a pause that grows with each failure.
    ++failureStreak_;
    const QString why = !lastErrorLine.isEmpty()
                            ? lastErrorLine
                            : QStringLiteral("%1 ended without a sweep (exit code %2)")
                                  .arg(QFileInfo(sweepToolPath).fileName())
                                  .arg(exitCode);
    toolFailureLine_ = why;
    toolFailureOutput_ = sweepTool_->ErrorOutput();
    HoldLaunch(why);
    if (failureStreak_ == 1 && tray)
        tray->ShowBalloon(1, why);
    retryTimer_->start(std::min(failureStreak_, kMaxRetrySeconds) * 1000);
}

bool TForm1::IsSweepFileCandidate(const QFileInfo &info) {
    // The tool writes a plain file. A FIFO would block the reader for good, a folder or device
    // cannot be one; a link could lead anywhere.
    return info.isFile() && !info.isSymLink();
}

void TForm1::PrepareSweepFile() {
    // Worker thread. Only what the window thread leaves alone until the hand-over runs: the
    // prepared buffers. Peaks are always searched (the window shows them only with "Max" on).
    prepared_ = false;
    preparedWhileToolRan_ = false;
    prepareError_.clear();
    try {
        if (PrepareFault)
            PrepareFault();
        if (toolRunning_) {
            preparedWhileToolRan_ = true; // read once it has ended
            return;
        }
        const QString path = SweepFilePath();
        const QFileInfo info(path);
        if (!IsSweepFileCandidate(info))
            return;
        preparedOffsetHz_ = frequencyOffsetHz_.load();
        preparedTextHeld_ = keepSweepText_.load();
        const SweepRead read = ReadSweep(path, preparedTextHeld_, preparedBuffer_, preparedReader_, preparedParser_,
                                         preparedFindings_.data);
        if (read == SweepRead::Unread)
            return;
        if (read == SweepRead::Cut) {
            prepareError_ = kCutSweepText;
            return;
        }
        AnalyseSweep(true, preparedFindings_, &average_, preparedOffsetHz_);
        preparedFacts_ = SweepValueFacts::Of(preparedFindings_);
        prepared_ = true;
    } catch (const std::exception &e) {
        // Out of memory on a huge file, or the like: a failed read, told on the window thread.
        preparedReader_.Close();
        preparedBuffer_ = QByteArray();
        preparedFindings_ = SweepFindings();
        prepareError_ = dynamic_cast<const std::bad_alloc *>(&e) ? QStringLiteral("not enough memory")
                                                                 : QString::fromLocal8Bit(e.what());
    }
}

void TForm1::IngestSweepFile() {
    // What the worker prepared belongs to this hand-over only.
    const bool prepared = std::exchange(prepared_, false);
    const QString path = SweepFilePath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        if (sweepTool_->Running())
            flags.awaitingSweepFile = true; // the tool is still opening the receiver
        else
            RequestLaunchUnlessHeld();
        return;
    }
    if (!IsSweepFileCandidate(info)) {
        // Never opened, never deleted: it is not ours.
        HoldForNonSweepFile();
        return;
    }
    if (sweepTool_->Running()) {
        // Read once our tool has ended: its exit says whether the sweep is whole, and a busy
        // file never turns into a launch while it is still writing.
        flags.awaitingSweepFile = true;
        return;
    }
    if (flags.visualizationStopped || IsFileBusy(path)) {
        RequestLaunchUnlessHeld();
        return;
    }
    if (!prepared && std::exchange(preparedWhileToolRan_, false)) {
        // The worker looked while the run went on, and it has ended since: the worker reads the
        // sweep on its next pass, so that this thread never parses a sweep of millions of values.
        flags.awaitingSweepFile = true;
        return;
    }
    // Whatever happens from here on, the next launch is requested.
    struct RequestLaunch {
        ScanFlags &f;
        ~RequestLaunch() { f.launchRequested = true; }
    } requestLaunch{flags};

    if (const QString error = std::exchange(prepareError_, QString()); !error.isEmpty()) {
        // The worker could not read it; reading it here would fail the same way.
        ReportUnreadSweep(error);
        return;
    }

    bool loaded = false;
    const bool preparedText = prepared && preparedTextHeld_;
    if (prepared) {
        // Read and analysed by the worker a moment ago: only the showing is left. Where it kept
        // the text (for the sweep log), the next read reuses that buffer: one sweep's text is
        // held, not two.
        // Unless the offset or the averaging changed meanwhile (or the average took another
        // sweep): then it is read again here, as things stand now.
        const bool current = preparedOffsetHz_ == frequencyOffsetHz_.load() &&
                             preparedFindings_.averaged == (average_.Count() > 0) &&
                             (!preparedFindings_.averaged ||
                              average_.Commit(preparedFindings_.average, preparedFindings_.data.y.data()));
        if (current) {
            ShowSweep(preparedFindings_, preparedFacts_);
            loaded = true;
        } else if (preparedText) {
            AssembleSweep(
                std::string_view(preparedBuffer_.constData(), static_cast<std::size_t>(preparedBuffer_.size())));
            loaded = true;
        }
    }
    if (!loaded) {
        // Read here when the worker did not, or its reading is out of date and it kept no text.
        LineRunReader reader;
        SweepParser parser;
        parser.SetCompactPoints(true);
        const SweepRead read = ReadSweep(path, LogSweeps1->isChecked(), fileBuffer_, reader, parser, findings_.data);
        if (read == SweepRead::Cut) {
            fileBuffer_ = QByteArray();
            findings_ = SweepFindings();
            ReportUnreadSweep(kCutSweepText);
            return;
        }
        loaded = read == SweepRead::Read;
        if (loaded)
            AssembleReadSweep();
    } else if (!preparedText && LogSweeps1->isChecked()) {
        LoadSweepFile(path, fileBuffer_); // the log was switched on after the worker read it without its text
    }
    if (loaded && lastSweep_.ok) {
        failureStreak_ = 0;
        ++sweepCount;
        AppendToSweepLog(preparedText ? preparedBuffer_ : fileBuffer_); // before the file goes, from the bytes read
    }
    QFile::remove(path);
    sweepSinceLaunch_ = true;
    // This thread reads a sweep itself only now and then: the text and the arrays it read with
    // (the shown sweep's previous ones) are not kept beside the worker's for the next time.
    fileBuffer_ = QByteArray();
    findings_ = SweepFindings();
}

TForm1::SweepRead TForm1::ReadSweep(const QString &path, bool keepText, QByteArray &text, LineRunReader &reader,
                                    SweepParser &parser, SweepData &d) {
    if (!keepText) {
        // A run of lines at a time: a sweep's text is never held whole.
        text = QByteArray();
        if (!ReadSweepFile(path, reader, parser, d))
            return SweepRead::Unread;
        return reader.EndedWithLineBreak() ? SweepRead::Read : SweepRead::Cut;
    }
    // The sweep log takes the bytes read: the text is read whole.
    if (!LoadSweepFile(path, text))
        return SweepRead::Unread;
    if (!EndsWithLineBreak(text))
        return SweepRead::Cut;
    parser.Parse(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), d);
    return SweepRead::Read;
}

bool TForm1::EndsWithLineBreak(const QByteArray &sweep) {
    return sweep.isEmpty() || sweep.endsWith('\n') || sweep.endsWith('\r');
}

void TForm1::ReportUnreadSweep(const QString &why) {
    const QString text = QStringLiteral("Sweep file not read: ") + why;
    statusText.set(text);
    if (tray)
        tray->ShowBalloon(1, text);
    QFile::remove(SweepFilePath());
    sweepSinceLaunch_ = true;
}

void TForm1::AssembleSweep(std::string_view text) {
    SweepParser parser;
    parser.SetCompactPoints(true); // as the window reads its sweeps
    parser.Parse(text, findings_.data);
    AssembleReadSweep();
}

void TForm1::AssembleReadSweep() {
    AnalyseSweep(mx->isChecked(), findings_, &average_, frequencyOffsetHz_.load());
    if (findings_.averaged)
        average_.Commit(findings_.average, findings_.data.y.data()); // nothing can have changed it meanwhile here
    ShowSweep(findings_, SweepValueFacts::Of(findings_));
}

TForm1::SweepValueFacts TForm1::SweepValueFacts::Of(const SweepFindings &f) {
    SweepValueFacts facts;
    // The ingest leaves the frequencies in ascending order (never NaN: whole hertz plus a finite
    // step), and the peaks' in bin order.
    const SweepData &d = f.data;
    const std::size_t n = d.PointCount();
    facts.x = d.compact ? (n ? TChartValueList::FactsOfAscendingEnds(d.Frequency(0), d.Frequency(n - 1)) : TValueFacts{})
                        : TChartValueList::FactsOfAscending(d.x.data(), n);
    facts.y = d.compact ? TChartValueList::FactsOf(d.yh.data(), n) : TChartValueList::FactsOf(d.y.data(), n);
    facts.peakX = TChartValueList::FactsOfAscending(f.peakX.data(), f.peakX.size());
    facts.peakY = !f.peakYh.empty() ? TChartValueList::FactsOf(f.peakYh.data(), f.peakYh.size())
                                    : TChartValueList::FactsOf(f.peakY.data(), f.peakY.size());
    return facts;
}

void TForm1::RedrawWaterfallRow() {
    const TChartValueList &levels = spectrum.sweepSeries.YValues();
    const std::size_t n = static_cast<std::size_t>(std::max(levels.Count(), 0));
    if (!lastSweep_.ok || lastSweep_.maxIndex >= n || lastSweep_.minIndex >= n)
        return;
    AddWaterfallRow(levels, n, lastSweep_.maxIndex, lastSweep_.minIndex);
}

bool TForm1::AddWaterfallRow(const TChartValueList &levels, std::size_t n, std::size_t maxIndex,
                             std::size_t minIndex) {
    // levels held as hundredths are drawn as they are, not spelled out
    if (const std::int16_t *h = levels.Hundredths())
        return waterfall->AddLine(h, n, maxIndex, minIndex, flags.waterfallColorStart, flags.waterfallColorEnd);
    return waterfall->AddLine(levels.Data(), n, maxIndex, minIndex, flags.waterfallColorStart,
                              flags.waterfallColorEnd);
}

void TForm1::ShowSweep(SweepFindings &f, const SweepValueFacts &facts) {
    // The sweep's paint waits until input and timers have had their turn after this.
    struct PaintAfterWaiting {
        TChart &chart;
        explicit PaintAfterWaiting(TChart &c) : chart(c) { chart.SetPaintAfterWaiting(true); }
        ~PaintAfterWaiting() { chart.SetPaintAfterWaiting(false); }
    } paintLater{*ch};
    SpectrumSeries &s = spectrum;
    s.Series2.ClearPoints();
    s.Series3.ClearPoints();
    s.Series4.ClearPoints();
    s.Series5.Pointer().SetVisible(false);
    s.sweepSeries.ClearPoints();
    ch->Left().SetAutomatic(axs->isChecked());
    ch->Right().SetAutomatic(axs->isChecked());

    lastSweep_ = SweepSummary{};
    lastSweep_.values = f.data.valueCount;
    lastSweep_.maxIndex = f.maxIndex;
    lastSweep_.minIndex = f.minIndex;
    lastSweep_.step =
        QString::fromLatin1(f.data.lastStepText.data(), static_cast<qsizetype>(f.data.lastStepText.size()));
    // f keeps the old buffers for next time
    if (f.data.compact)
        s.sweepSeries.AdoptPoints(f.data.xr, f.data.PointCount(), f.data.xOffset, f.data.yh, flags.chartColor, facts.x,
                                  facts.y);
    else
        s.sweepSeries.AdoptPoints(f.data.x, f.data.y, flags.chartColor, facts.x, facts.y);
    if (!f.data.ok)
        return;

    const int n = s.sweepSeries.PointCount();
    if (n == 0)
        return;
    const TChartValueList &hz = s.sweepSeries.XValues(), &levels = s.sweepSeries.YValues(); // in either form
    const int strongest = static_cast<int>(f.maxIndex);
    s.Series3.AddPoint(hz.Value(strongest), levels.Value(strongest), QString(), clDefault); // the series colour
    // Rows of another range or bin layout would put their signals at wrong frequencies.
    const TraceLayout layout = TraceLayout::Of(s.sweepSeries);
    if (layout != waterfallLayout_ && waterfallLayout_.bins > 0)
        waterfall->Clear();
    waterfallLayout_ = layout;
    // A row the waterfall cannot draw (a single bin) still leaves the trace, noise line and
    // status to be finished.
    AddWaterfallRow(levels, static_cast<std::size_t>(n), f.maxIndex, f.minIndex);
    if (!f.noiseDb)
        return;
    const double noise = *f.noiseDb;
    // The noise line: one level over the trace's x from the second to the last-but-one bin,
    // held as one number, not n copies of it.
    if (n > 2)
        s.Series2.SetLevelPoints(s.sweepSeries, 1, n - 2, noise, clDefault);
    if (mx->isChecked()) { // exactly the peaks, handed over (with what the worker found of them)
        if (!f.peakYh.empty()) // the peaks' levels as hundredths
            s.Series4.AdoptPoints(f.peakX, f.peakYh, clDefault, facts.peakX, facts.peakY);
        else
            s.Series4.AdoptPoints(f.peakX, f.peakY, clDefault, facts.peakX, facts.peakY);
    }
    hoverPeakStale_ = true; // other peaks: the one under the mouse is looked up at the next frame
    sb->SetPanelText(2, QStringLiteral("Average Noise Level: %1 dB").arg(QString::number(noise, 'f', 2)));
    sb->SetPanelText(3, QStringLiteral("FFT Point Size: %1").arg(f.data.valueCount));
    sb->SetPanelText(1, QStringLiteral("Step: %1 Hz").arg(lastSweep_.step));
    persistence_.Push(s.Series1); // the trace before this one (nothing while persistence is off)
    s.Series1.CopyFrom(s.sweepSeries);
    s.Series5.CopyFrom(s.sweepSeries);
    lastSweep_.ok = true;
    lastSweep_.averaged = f.averaged;
    if (f.averaged)
        liveLevels_.swap(f.liveLevels); // the sweep's own levels, for an export
    else
        std::vector<float>().swap(liveLevels_);
    UpdateUnderlays();
    lastSweep_.noiseDb = noise;
    lastSweep_.maxHz = hz.Value(strongest);
    lastSweep_.maxDb = levels.Value(strongest);
}

void TForm1::UpdateViewAfterPass() {
    const TLineSeries &trace = spectrum.Series1;
    if (trace.PointCount() > 2) {
        waterfallLeftPx = trace.XPixel(0);
        waterfallRightPx = trace.XPixel(trace.PointCount() - 1);
        if (waterfallLeftPx < waterfallRightPx)
            SetImg2Bounds(waterfallLeftPx, waterfallRightPx - waterfallLeftPx);
    }
    if (flags.axisResetRequested && startSpin && stopSpin) {
        flags.axisResetRequested = false;
        const double lo = startSpin->Value() * kHzPerMHz, hi = stopSpin->Value() * kHzPerMHz;
        TChartAxis &bottom = ch->Bottom();
        try {
            // Set the end first that keeps minimum <= maximum on the way.
            if (lo > bottom.Maximum()) {
                bottom.SetMaximum(hi);
                bottom.SetMinimum(lo);
            } else {
                bottom.SetMinimum(lo);
                bottom.SetMaximum(hi);
            }
        } catch (const Error &) {
            // An editor range the axis refuses is left for the next reset.
        }
    }
}

} // namespace sky
