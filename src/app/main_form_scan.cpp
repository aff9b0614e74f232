// TForm1's part of the scan cycle: the three steps the worker hands to the window thread.
#include "app/main_form.h"

#include "app/spin_double.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "scan/sweep_file.h"
#include "scan/sweep_tool.h"

#include <QFile>

namespace sky {

void TForm1::StartScanThread() {
    scanThread = std::make_unique<th>(flags, statusText, *this, this, SweepFilePath());
    scanThread->start();
}

void TForm1::LaunchSweepTool() {
    if (flags.paramChangePending || flags.visualizationStopped)
        return;
    LaunchDetached(sweepToolPath, SplitCommandLine(BuildSweepParameters(params)), pluginsDir);
}

void TForm1::IngestSweepFile() {
    const QString path = SweepFilePath();
    if (!QFile::exists(path) || flags.visualizationStopped || IsFileBusy(path)) {
        flags.launchRequested = true;
        return;
    }
    // Whatever happens from here on, the next launch is requested.
    struct RequestLaunch {
        ScanFlags &f;
        ~RequestLaunch() { f.launchRequested = true; }
    } requestLaunch{flags};

    const bool loaded = LoadSweepFile(path, fileBuffer_);
    QFile::remove(path);
    if (loaded)
        AssembleSweep(std::string_view(fileBuffer_.constData(), static_cast<std::size_t>(fileBuffer_.size())));
}

void TForm1::AssembleSweep(std::string_view text) {
    SpectrumSeries &s = spectrum;
    s.Series2.ClearPoints();
    s.Series3.ClearPoints();
    s.Series4.ClearPoints();
    s.Series5.Pointer().SetVisible(false);
    s.sweepSeries.ClearPoints();
    ch->Left().SetAutomatic(axs->isChecked());
    ch->Right().SetAutomatic(axs->isChecked());

    SweepFindings &f = findings_;
    IngestSweep(text, mx->isChecked(), f);
    lastSweep_ = SweepSummary{};
    lastSweep_.values = f.data.valueCount;
    lastSweep_.step =
        QString::fromLatin1(f.data.lastStepText.data(), static_cast<qsizetype>(f.data.lastStepText.size()));
    s.sweepSeries.AdoptPoints(f.data.x, f.data.y, flags.chartColor); // f keeps the old buffers for next time
    if (!f.data.ok)
        return;

    const int n = s.sweepSeries.PointCount();
    if (n == 0)
        return;
    const double *x = s.sweepSeries.XValues().Data();
    const double *y = s.sweepSeries.YValues().Data();
    s.Series3.AddPoint(x[f.maxIndex], y[f.maxIndex], QString(), clLime);
    if (!waterfall->AddLine(y, static_cast<std::size_t>(n), f.maxIndex, f.minIndex, flags.waterfallColorStart,
                            flags.waterfallColorEnd))
        return;
    if (!f.noiseDb)
        return;
    const double noise = *f.noiseDb;
    if (n > 2) {
        noiseLevels_.assign(static_cast<std::size_t>(n - 2), noise);
        s.Series2.AppendPoints(x + 1, noiseLevels_.data(), noiseLevels_.size(), clYellow);
    }
    if (mx->isChecked())
        s.Series4.AppendPoints(f.peakX.data(), f.peakY.data(), f.peakCount, clLime);
    sb->SetPanelText(2, QStringLiteral("Average Noise Level: %1 dB").arg(QString::number(noise, 'f', 2)));
    sb->SetPanelText(3, QStringLiteral("FFT Point Size: %1").arg(f.data.valueCount));
    sb->SetPanelText(1, QStringLiteral("Step: %1 Hz").arg(lastSweep_.step));
    s.Series1.CopyFrom(s.sweepSeries);
    s.Series5.CopyFrom(s.sweepSeries);
    lastSweep_.ok = true;
    lastSweep_.noiseDb = noise;
    lastSweep_.maxHz = x[f.maxIndex];
    lastSweep_.maxDb = y[f.maxIndex];
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
