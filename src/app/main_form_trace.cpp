// TForm1's trace processing (Options > Trace), waterfall options (Options > Waterfall) and the
// Ctrl + wheel zoom of the frequency axis.
#include "app/main_form.h"

#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "platform/numtext.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace sky {

namespace {

constexpr double kZoomStep = 0.8;    // the span a notch of Ctrl + wheel leaves
constexpr double kMinZoomSpanHz = 1; // no zooming in beyond this
constexpr double kLevelLimitDb = 300; // the fixed waterfall range's editors reach this far

// A dialog of two level editors for the fixed waterfall range.
bool askRange(QWidget *parent, double &fromDb, double &toDb) {
    QDialog d(parent);
    d.setWindowTitle(QStringLiteral("Fixed range"));
    auto *form = new QFormLayout(&d);
    auto editor = [&](double value) {
        auto *e = new QDoubleSpinBox(&d);
        e->setRange(-kLevelLimitDb, kLevelLimitDb);
        e->setDecimals(1);
        e->setSuffix(QStringLiteral(" dB"));
        e->setValue(value);
        return e;
    };
    QDoubleSpinBox *from = editor(fromDb), *to = editor(toDb);
    form->addRow(QStringLiteral("Weakest colour at"), from);
    form->addRow(QStringLiteral("Strongest colour at"), to);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    // The range must not be empty: OK waits for from < to.
    auto check = [&] { buttons->button(QDialogButtonBox::Ok)->setEnabled(from->value() < to->value()); };
    QObject::connect(from, &QDoubleSpinBox::valueChanged, &d, check);
    QObject::connect(to, &QDoubleSpinBox::valueChanged, &d, check);
    check();
    if (d.exec() != QDialog::Accepted)
        return false;
    fromDb = from->value();
    toDb = to->value();
    return true;
}

} // namespace

// ---- Trace

void TForm1::Live1Click() { ChooseTraceMode(TraceMode::Live); }

void TForm1::Average1Click() {
    const std::optional<int> n =
        AskNumber(QStringLiteral("Average"), QStringLiteral("Sweeps to average (%1 to %2):")
                                                 .arg(TTraceAverage::kMinCount)
                                                 .arg(TTraceAverage::kMaxCount),
                  averageCount_, TTraceAverage::kMinCount, TTraceAverage::kMaxCount);
    if (!n) {
        ApplyTraceOptions(); // as it was, the menu too
        return;
    }
    averageCount_ = std::clamp(*n, TTraceAverage::kMinCount, TTraceAverage::kMaxCount);
    average_.SetCount(0); // a new N, or the same N picked again: a fresh start either way
    ChooseTraceMode(TraceMode::Average);
}

void TForm1::MinHold1Click() { ChooseTraceMode(TraceMode::MinHold); }

void TForm1::ChooseTraceMode(TraceMode mode) {
    traceMode_ = mode;
    settings->SetValue(key::Average, mode == TraceMode::Average ? QString::number(averageCount_) : QStringLiteral("0"));
    settings->SetValue(key::MinHold, mode == TraceMode::MinHold ? QStringLiteral("1") : QStringLiteral("0"));
    SaveSettings();
    ApplyTraceOptions();
}

void TForm1::Persistence1Click() {
    int depth = 0;
    if (Persistence1->isChecked()) {
        const std::optional<int> n =
            AskNumber(QStringLiteral("Persistence"),
                      QStringLiteral("Traces to keep (1 to %1):").arg(kMaxPersistence), persistenceDepth_, 1,
                      kMaxPersistence);
        if (!n) {
            Persistence1->setChecked(false);
            return;
        }
        persistenceDepth_ = std::clamp(*n, 1, kMaxPersistence);
        depth = persistenceDepth_;
    }
    WriteSetting(key::Persistence, QString::number(depth));
    ApplyTraceOptions();
}

void TForm1::ApplyTraceOptions() {
    Live1->setChecked(traceMode_ == TraceMode::Live);
    Average1->setChecked(traceMode_ == TraceMode::Average);
    MinHold1->setChecked(traceMode_ == TraceMode::MinHold);
    // The next sweep read (on the worker too) is averaged from then on.
    average_.SetCount(traceMode_ == TraceMode::Average ? averageCount_ : 0);
    if (traceMode_ != TraceMode::MinHold)
        minHold_.Restart();
    const int depth = Persistence1->isChecked() ? persistenceDepth_ : 0;
    if (depth != persistence_.Depth())
        persistence_.Clear(); // kept traces start afresh with the new depth
    persistence_.SetDepth(depth);
    sb->SetPanelText(4, traceMode_ == TraceMode::Average ? QStringLiteral("Average %1").arg(averageCount_) : QString());
    sb->FitPanel(4);
    UpdateUnderlays();
    ch->Invalidate();
}

void TForm1::UpdateUnderlays() {
    if (lastSweep_.ok) {
        const TLineSeries &trace = spectrum.Series1;
        // Pale and dark tints of the trace's colour: visible on black, never mistaken for the trace.
        if (MaxHold1->isChecked())
            maxHold_.Update(trace, BlendColour(flags.chartColor, RGBToColor(qRgb(200, 200, 200)), 2.0 / 3));
        if (traceMode_ == TraceMode::MinHold)
            minHold_.Update(trace, BlendColour(flags.chartColor, clBlack, 0.5));
        if (persistence_.Depth() > 0)
            persistence_.Follow(trace, flags.chartColor);
    }
    ArrangeUnderlays();
}

void TForm1::ArrangeUnderlays() {
    std::vector<TChartSeries *> wanted;
    const auto &kept = persistence_.Series(); // newest first: the oldest is drawn lowest
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        wanted.push_back(it->get());
    if (traceMode_ == TraceMode::MinHold)
        wanted.push_back(&minHoldSeries);
    if (MaxHold1->isChecked())
        wanted.push_back(&maxHoldSeries);
    TChartSeriesList &list = ch->SeriesList();
    for (TChartSeries *hold : {static_cast<TChartSeries *>(&minHoldSeries), static_cast<TChartSeries *>(&maxHoldSeries)})
        if (std::find(wanted.begin(), wanted.end(), hold) == wanted.end() && list.Contains(hold))
            ch->RemoveSeries(hold);
    // One series more each, drawn under everything else; the others stay as they are (taking
    // them out and back would re-resolve the axes the trace's copies keep).
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        TChartSeries *s = wanted[i];
        if (!list.Contains(s)) {
            s->SetVertAxis(aBothVertAxis);
            ch->AddSeries(s);
        }
        if (list.IndexOf(s) != static_cast<int>(i))
            list.Move(s, static_cast<int>(i));
    }
}

// ---- Waterfall

void TForm1::WaterfallLevelsClick(WaterfallLevels levels) {
    if (levels == WaterfallLevels::Fixed) {
        double from = waterfallMinDb, to = waterfallMaxDb;
        const bool ok = askLevelRange ? askLevelRange(from, to) : askRange(this, from, to);
        if (!ok || !(from < to)) {
            ApplyWaterfallOptions(); // as it was, the menu too
            return;
        }
        waterfallMinDb = from;
        waterfallMaxDb = to;
        settings->SetValue(key::WaterfallMinDb, FloatToText(from));
        settings->SetValue(key::WaterfallMaxDb, FloatToText(to));
    }
    waterfallLevels_ = levels;
    settings->SetValue(key::WaterfallLevels, WaterfallLevelsText(levels));
    SaveSettings();
    ApplyWaterfallOptions();
}

void TForm1::WaterfallColoursClick(WaterfallColours colours) {
    waterfallColours_ = colours;
    WriteSetting(key::WaterfallColours, WaterfallColoursText(colours));
    ApplyWaterfallOptions();
}

void TForm1::ApplyWaterfallOptions() {
    LevelsSweep1->setChecked(waterfallLevels_ == WaterfallLevels::Sweep);
    LevelsFixed1->setChecked(waterfallLevels_ == WaterfallLevels::Fixed);
    LevelsAuto1->setChecked(waterfallLevels_ == WaterfallLevels::Auto);
    for (std::size_t i = 0; i < colourItems.size(); ++i)
        colourItems[i]->setChecked(static_cast<std::size_t>(waterfallColours_) == i);
    if (!waterfall)
        return;
    waterfall->SetLevels(waterfallLevels_, waterfallMinDb, waterfallMaxDb);
    waterfall->SetColours(waterfallColours_);
}

// ---- Ctrl + wheel

void TForm1::ZoomFrequencyAt(int x, double notches) {
    TChartAxis &bottom = ch->Bottom();
    const TRect plot = ch->PlotRect();
    if (plot.Right <= plot.Left || notches == 0)
        return;
    const double at = bottom.PixelToValue(std::clamp(x, plot.Left, plot.Right));
    const double keep = std::pow(kZoomStep, notches);
    const double lo = at - (at - bottom.Minimum()) * keep, hi = at + (bottom.Maximum() - at) * keep;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi - lo >= kMinZoomSpanHz))
        return;
    bottom.SetRange(lo, hi);
    userViewChanged_ = true; // Mode Infinity follows it as any zoom
    ch->Invalidate();
}

// ---- Settings

void TForm1::ReadTraceSettings() {
    // Only read: a first start writes none of these keys. Text that is no valid choice counts
    // as off.
    const int average = ParseIntOr(settings->Value(key::Average), 0);
    const bool minHold = (ParseIntOr(settings->Value(key::MinHold), 0) & 0xFF) != 0;
    const int persistence = ParseIntOr(settings->Value(key::Persistence), 0);
    traceMode_ = average > 0 ? TraceMode::Average : minHold ? TraceMode::MinHold : TraceMode::Live;
    if (average > 0)
        averageCount_ = std::clamp(average, TTraceAverage::kMinCount, TTraceAverage::kMaxCount);
    if (persistence > 0)
        persistenceDepth_ = std::min(persistence, kMaxPersistence);
    Persistence1->setChecked(persistence > 0);
    ApplyTraceOptions();

    waterfallLevels_ = ParseWaterfallLevels(settings->Value(key::WaterfallLevels)).value_or(WaterfallLevels::Sweep);
    waterfallColours_ =
        ParseWaterfallColours(settings->Value(key::WaterfallColours)).value_or(WaterfallColours::Ramp);
    const std::optional<double> lo = ParseFloat(settings->Value(key::WaterfallMinDb));
    const std::optional<double> hi = ParseFloat(settings->Value(key::WaterfallMaxDb));
    if (lo && hi && std::isfinite(*lo) && std::isfinite(*hi) && *lo < *hi) {
        waterfallMinDb = *lo;
        waterfallMaxDb = *hi;
    }
    ApplyWaterfallOptions();
}

std::optional<int> TForm1::AskNumber(const QString &title, const QString &label, int value, int min, int max) {
    if (askNumber)
        return askNumber(title, label, value, min, max);
    bool ok = false;
    const int n = QInputDialog::getInt(this, title, label, value, min, max, 1, &ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

} // namespace sky
