// TForm1's chart handlers: the cursor readout, Mode Infinity's range follow, the trace and
// waterfall colours and the waterfall's fit under the trace.
#include "app/main_form.h"

#include "app/settings_keys.h"
#include "app/spin_double.h"

#include <QApplication>

#include <algorithm>
#include <cmath>

namespace sky {

void TForm1::chMouseMove(int x, int y) {
    cursorX = x;
    cursorY = y;
    UpdateCursorReadout();
    UpdateHoverPeak();
    ch->Invalidate();
}

// A "Max" peak marker within a few pixels of the mouse shows its label. Looked up again after
// every sweep too: an index kept from the last one would point at another peak.
void TForm1::UpdateHoverPeak() {
    const int x = cursorX, y = cursorY;
    hoverPeak = -1;
    const auto &peaks = spectrum.Series4;
    if (peaks.Pointer().Visible() && peaks.ResolvedHorizAxis() && peaks.ResolvedVertAxis()) {
        // The peaks lie in ascending frequency: only those within 5 pixels across are looked at
        // (a million-bin sweep has hundreds of thousands of them).
        const TCustomChartAxis &axis = *peaks.ResolvedHorizAxis();
        double lo = axis.PixelToValue(x - 5), hi = axis.PixelToValue(x + 5);
        if (lo > hi)
            std::swap(lo, hi); // an inverted axis
        const double *px = peaks.XValues().Data();
        const int n = peaks.PointCount();
        const int first = static_cast<int>(std::lower_bound(px, px + n, lo) - px);
        const int last = static_cast<int>(std::upper_bound(px, px + n, hi) - px);
        int best = 5 * 5 + 1;
        for (int i = first; i < last; ++i) {
            const int dx = peaks.XPixel(i) - x, dy = peaks.YPixel(i) - y;
            if (dx * dx + dy * dy < best) {
                best = dx * dx + dy * dy;
                hoverPeak = i;
            }
        }
    }
}

void TForm1::UpdateCursorReadout() {
    const int x = cursorX, y = cursorY;
    TChartSeriesList &list = ch->SeriesList();
    for (int i = 0; i < list.Count(); ++i) {
        TChartSeries *s = list.At(i);
        try {
            double vx = 0, vy = 0;
            s->CursorValuesAt(QPoint(x, y), vx, vy);
            if (s->ResolvedHorizAxis())
                cursorXText = s->ResolvedHorizAxis()->FormatLabel(vx);
            if (s->ResolvedVertAxis())
                cursorYText = s->ResolvedVertAxis()->FormatLabel(vy);
        } catch (const std::exception &) {
            // a text that cannot be made keeps its previous value
        }
    }
}

void TForm1::chAfterDraw() {
    // A page (or its preview): the chart and its peak labels, nothing that belongs to the
    // screen (the cursor readout, the view's follow-up).
    DrawMarkers();
    DrawOffsetFoot();
    if (ch->IsPrinting()) {
        DrawPeakLabels();
        return;
    }
    TCanvas3D &c = ch->Canvas();
    TFontDesc font = c.Font();
    font.SetSize(8);
    font.Color = clSilver;
    c.Font() = font;
    if (cursorX > 1 && cursorY < ch->height() - 30) {
        // The axes may have moved under a still mouse (keys, zoom, a new sweep): read them anew.
        UpdateCursorReadout();
        c.Pen().Color = clSilver;
        const int h = c.TextHeightW();
        c.SetTextAlign(TextAlign::Left | TextAlign::Top);
        c.TextOut(cursorX + 10, cursorY - h - 2, cursorXText + QStringLiteral(" Hz"));
        c.TextOut(cursorX + 10, cursorY, cursorYText + QStringLiteral(" dB"));
    }
    // Mode Infinity follows what the user set by zooming, scrolling or keys, also while a
    // change settles (a long right-drag); never the chart's automatic fit of the data.
    if (userViewChanged_) {
        userViewChanged_ = false;
        if (InfinityMode())
            FollowAxisRange();
    }
    DrawPeakLabels();
    UpdateViewAfterPass();
}

void TForm1::FollowAxisRange() {
    if (!startSpin || !stopSpin)
        return;
    const TChartAxis &bottom = ch->Bottom();
    // Whole kilohertz, so the editors show what fits; they clamp to their ranges and change
    // their text only when it differs, so an unchanged axis sets nothing.
    auto mhz = [](double hz) { return std::round(hz / 1000.0) * 1000.0 / kHzPerMHz; };
    followingAxis_ = true; // the range comes from the view: the view stays
    startSpin->setValue(mhz(bottom.Minimum()));
    stopSpin->setValue(mhz(bottom.Maximum()));
    followingAxis_ = false;
}

void TForm1::chMouseDown() {
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

void TForm1::chMouseUp() {
    RequestAxisReset();
}

void TForm1::chClick() {
    ch->setFocus();
}

void TForm1::chClickSeries(TChartSeries *series, int) {
    // Only the trace itself (Series1, and the working series and marker copy that lie on it)
    // chooses the trace colour; the noise line and the peak markers do not.
    if (series != &spectrum.Series1 && series != &spectrum.sweepSeries && series != &spectrum.Series5)
        return;
    TColor c;
    if (cd(flags.chartColor, c)) {
        flags.chartColor = c;
        WriteSetting(key::ChartColor, QString::number(c));
    }
}

void TForm1::img2DblClick() {
    TColor c;
    if (cd(flags.waterfallColorStart, c)) {
        flags.waterfallColorStart = c;
        WriteSetting(key::WaterfallColorStart, QString::number(c));
    }
    if (cd(flags.waterfallColorEnd, c)) {
        flags.waterfallColorEnd = c;
        WriteSetting(key::WaterfallColorEnd, QString::number(c));
    }
}

void TForm1::FormResize() {
    waterfall->Resize();
}

} // namespace sky
