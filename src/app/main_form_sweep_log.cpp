// TForm1's sweep log, max hold and peak readout.
#include "app/main_form.h"

#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "app/tray.h"
#include "platform/error.h"

#include <QDate>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <utility>

namespace sky {

void TForm1::LogSweeps1Click() {
    WriteSetting(key::LogSweeps, LogSweeps1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

QString TForm1::SweepLogPath() const {
    return pluginsDir + QStringLiteral("sweeps-%1.csv").arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

void TForm1::AppendToSweepLog(const QByteArray &sweepFile) {
    if (!LogSweeps1->isChecked() || sweepFile.isEmpty())
        return;
    if (!sweepLog_)
        sweepLog_ = std::make_unique<TSweepLog>(this, [this](const QString &path, const QString &why) {
            SweepLogFailed(path, why);
        });
    sweepLog_->Append(SweepLogPath(), sweepFile);
}

// Window thread, once per failure: the log turns itself off; the sweep cycle goes on.
void TForm1::SweepLogFailed(const QString &path, const QString &why) {
    sweepLog_.reset(); // a fresh writer when the log is switched on again
    if (LogSweeps1->isChecked()) {
        LogSweeps1->setChecked(false);
        try {
            WriteSetting(key::LogSweeps, QStringLiteral("0"));
        } catch (const Error &) {
            // The same disk may refuse the settings too; the log is off either way.
        }
    }
    if (tray)
        tray->ShowBalloon(1, QStringLiteral("Sweep log stopped: cannot write %1. %2").arg(path, why));
}

void TForm1::MaxHold1Click() {
    WriteSetting(key::MaxHold, MaxHold1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    ApplyMaxHold();
}

void TForm1::ApplyMaxHold() {
    maxHold_.Restart();
    UpdateUnderlays();
    ch->Invalidate();
}

QString TForm1::LevelText(double db, int decimals) {
    if (std::isnan(db))
        return QStringLiteral("\u2013"); // no reading
    if (std::isinf(db))
        return db < 0 ? QStringLiteral("\u2212inf") : QStringLiteral("inf");
    // A real minus sign: the text is read, not parsed; a level that rounds to zero has none.
    QString text = QString::number(std::fabs(db), 'f', decimals);
    if (db < 0 && text != QString::number(0.0, 'f', decimals))
        text.prepend(QChar(0x2212));
    return text;
}

QString TForm1::PeakLabel(double hz, double db) {
    return QStringLiteral("%1 MHz %2 dB").arg(QString::number(hz / kHzPerMHz, 'f', 3), LevelText(db, 1));
}

void TForm1::DrawPeakLabels() {
    TCanvas3D &c = ch->Canvas();
    const TRect plot = ch->PlotRect();
    auto label = [&](const TChartSeries &s, int i, TColor colour) {
        if (i < 0 || i >= s.PointCount() || !s.ResolvedHorizAxis() || !s.ResolvedVertAxis())
            return;
        // A peak outside the visible range has no label (pinned to the edge it would point
        // at nothing there).
        const int px = s.XPixel(i), py = s.YPixel(i);
        if (px < plot.Left || px > plot.Right || py < plot.Top || py > plot.Bottom)
            return;
        const QString text = PeakLabel(s.XValue(i), s.YValue(i));
        TFontDesc font = c.Font();
        font.SetSize(8);
        font.Color = colour;
        c.Font() = font;
        const int w = c.MeasureText(text), h = c.TextHeightW();
        // Right of and above the marker, moved inside the plot where it would leave it.
        int x = px + 6, y = py - h - 4;
        if (x + w > plot.Right - 2)
            x = px - 6 - w;
        x = std::clamp(x, plot.Left + 2, std::max(plot.Left + 2, plot.Right - 2 - w));
        y = std::clamp(y, plot.Top + 2, std::max(plot.Top + 2, plot.Bottom - 2 - h));
        c.SetTextAlign(TextAlign::Left | TextAlign::Top);
        c.TextOut(x, y, text);
        if (!ch->IsPrinting())
            lastPeakLabelRects_ << QRect(x, y, w, h);
    };
    if (!ch->IsPrinting())
        lastPeakLabelRects_.clear();
    if (!ch->IsPrinting() && std::exchange(hoverPeakStale_, false))
        UpdateHoverPeak(); // the axes are those of the new sweep by now
    if (lastSweep_.ok)
        label(spectrum.Series3, 0, PeakLabelColour(ch->IsPrinting()));
    if (spectrum.Series4.Pointer().Visible() && !ch->IsPrinting()) // the mouse is no part of a page
        label(spectrum.Series4, hoverPeak, PeakLabelColour(false));
}

} // namespace sky
