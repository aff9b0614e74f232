// TForm1's measurement markers, trace and image export, converter offset and receiver options.
#include "app/main_form.h"

#include "app/application.h"
#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "app/spin_double.h"
#include "app/tray.h"
#include "platform/numtext.h"
#include "scan/receiver_options.h"
#include "scan/sweep_tool.h"
#include "scan/trace_csv.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QImageWriter>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace sky {

namespace {

constexpr double kMaxOffsetMHz = 10000;
// The editors' ranges without an offset, MHz.
constexpr double kStartMinMHz = 24, kStartMaxMHz = 1749, kStopMinMHz = 25, kStopMaxMHz = 1750;

QString mhzText(double hz) { return QString::number(hz / kHzPerMHz, 'f', 6); }

// A crop as the tool takes it; 0 % is no crop at all (the tool is then not given -c).
std::optional<QString> cropOrNone(const QString &text) {
    std::optional<QString> crop = ValidateCrop(text);
    if (crop && !crop->isEmpty() && ParseFloat(crop->chopped(1)).value_or(1) == 0)
        crop = QString();
    return crop;
}

TColor markerColour(int which, bool paper) {
    if (paper)
        return which == 0 ? RGBToColor(qRgb(0, 110, 130)) : RGBToColor(qRgb(150, 0, 150));
    return which == 0 ? RGBToColor(qRgb(0, 230, 255)) : RGBToColor(qRgb(255, 80, 255));
}

} // namespace

// ---- Markers

void TForm1::SetMarkerAt(int which, int x) {
    const TLineSeries &trace = spectrum.Series1;
    const int n = trace.PointCount();
    if (n == 0 || which < 0 || which > 1)
        return;
    const TStoredValues hz = trace.XValues().Stored(); // frequencies held as runs stay so
    const double at = hz[static_cast<std::ptrdiff_t>(
        NearestBinOf(hz, static_cast<std::size_t>(n), ch->Bottom().PixelToValue(x)))];
    markerHz_[which] = at;
    WriteSetting(which == 0 ? key::MarkerAHz : key::MarkerBHz, FloatToText(at));
    ch->Invalidate();
}

void TForm1::ClearMarkers1Click() {
    markerHz_[0].reset();
    markerHz_[1].reset();
    settings->SetValueKeepingKey(key::MarkerAHz, QString());
    settings->SetValueKeepingKey(key::MarkerBHz, QString());
    SaveSettings();
    ch->Invalidate();
}

TForm1::MarkerReadout TForm1::Markers() {
    MarkerReadout m;
    const TLineSeries &trace = spectrum.Series1;
    const std::size_t n = static_cast<std::size_t>(trace.PointCount());
    if (n == 0 || !lastSweep_.ok || (!markerHz_[0] && !markerHz_[1]))
        return m;
    // compact forms (frequencies as runs, levels as hundredths) are read as they are
    const TStoredValues x = trace.XValues().Stored(), y = trace.YValues().Stored();
    // A marker beyond the sweep (more than a bin's spacing from its ends) reads no level.
    const double spacing = n > 1 ? (x[n - 1] - x[0]) / static_cast<double>(n - 1) : 0;
    for (int k = 0; k < 2; ++k) {
        if (!markerHz_[k])
            continue;
        m.set[k] = true;
        m.hz[k] = *markerHz_[k];
        const auto i = static_cast<std::ptrdiff_t>(NearestBinOf(x, n, m.hz[k]));
        m.db[k] = std::fabs(x[i] - m.hz[k]) <= spacing ? y[i] : std::numeric_limits<double>::quiet_NaN();
    }
    if (m.set[0] && m.set[1]) {
        // Once per sweep and marker pair: a band can hold millions of bins.
        BandCache &c = bandCache_;
        const std::uint64_t key = trace.YValues().ContentKey();
        if (key == 0 || key != c.key || trace.YValues().ContentOffset() != c.offset || n != c.bins ||
            m.hz[0] != c.a || m.hz[1] != c.b) {
            std::optional<BandPower> band;
            std::size_t first = 0, last = 0;
            if (BandBins(x, n, m.hz[0], m.hz[1], first, last)) // hundredths a piece at a time
                band = y.hundredths ? BandPowerOf(y.hundredths + first, last - first)
                                    : BandPowerOf(trace.YValues().Data() + first, last - first);
            c = BandCache{key, trace.YValues().ContentOffset(), n, m.hz[0], m.hz[1], band};
        }
        m.band = c.band;
    }
    return m;
}

void TForm1::DrawMarkers() {
    const MarkerReadout m = Markers();
    if (!m.set[0] && !m.set[1])
        return;
    const bool paper = ch->IsPrinting();
    TCanvas3D &c = ch->Canvas();
    const TRect plot = ch->PlotRect();
    TFontDesc font = c.Font();
    font.SetSize(8);
    c.SetTextAlign(TextAlign::Left | TextAlign::Top);
    const int h = c.TextHeightW();
    for (int k = 0; k < 2; ++k) {
        if (!m.set[k])
            continue;
        const int px = ch->Bottom().ValueToPixel(m.hz[k]);
        if (px < plot.Left || px > plot.Right)
            continue; // out of view: no line pinned to the edge
        const TColor colour = markerColour(k, paper);
        c.Pen().Color = colour;
        c.VertLine(px, plot.Top, plot.Bottom);
        font.Color = colour;
        c.Font() = font;
        const QString text = QStringLiteral("%1 %2 MHz %3 dB")
                                 .arg(QString(QLatin1Char(k == 0 ? 'A' : 'B')), mhzText(m.hz[k]), LevelText(m.db[k], 2));
        const int w = c.MeasureText(text);
        int x = px + 4;
        if (x + w > plot.Right - 2)
            x = px - 4 - w;
        x = std::clamp(x, plot.Left + 2, std::max(plot.Left + 2, plot.Right - 2 - w));
        c.TextOut(x, plot.Bottom - (3 - k) * (h + 2), text); // above the offset's line
    }
    if (!(m.set[0] && m.set[1]))
        return;
    QStringList lines{QStringLiteral("\u0394F %1 MHz").arg(mhzText(m.hz[1] - m.hz[0])),
                      QStringLiteral("\u0394dB %1").arg(LevelText(m.db[1] - m.db[0], 2))};
    lines << (m.band ? QStringLiteral("Band %1 dB (%2 bins)").arg(LevelText(m.band->db, 2)).arg(m.band->bins)
                     : QStringLiteral("Band: no bin"));
    font.Color = paper ? clBlack : clWhite;
    c.Font() = font;
    int y = plot.Top + 2;
    for (const QString &line : lines) {
        c.TextOut(plot.Right - 4 - c.MeasureText(line), y, line);
        y += h + 1;
    }
}

// ---- Export

bool TForm1::CollectTrace(TraceTable &table, QString &error) const {
    const TLineSeries &trace = spectrum.Series1;
    const std::size_t n = static_cast<std::size_t>(trace.PointCount());
    if (n == 0 || !lastSweep_.ok) {
        error = QStringLiteral("There is no sweep to save yet.");
        return false;
    }
    // spelled out here only, where held compact
    table.hz = trace.XValues().Copy();
    const std::vector<double> y = trace.YValues().Copy();
    table.columns.clear();
    // With averaging the trace is the average; the sweep's own levels were kept aside.
    const bool averaged = lastSweep_.averaged && liveLevels_.size() == n;
    if (averaged)
        table.columns.push_back({QStringLiteral("level_db"), {liveLevels_.begin(), liveLevels_.end()}});
    else
        table.columns.push_back({QStringLiteral("level_db"), y});
    auto held = [&](const QString &name, const TChartSeries &s, bool on) {
        if (on && static_cast<std::size_t>(s.PointCount()) == n)
            table.columns.push_back({name, s.YValues().Copy()});
    };
    held(QStringLiteral("max_hold_db"), maxHoldSeries, MaxHold1->isChecked());
    held(QStringLiteral("min_hold_db"), minHoldSeries, traceMode_ == TraceMode::MinHold);
    if (averaged)
        table.columns.push_back({QStringLiteral("average_db"), y});
    return true;
}

bool TForm1::TraceTable::Write(const QString &path, QString &error) const {
    std::vector<TraceColumn> list;
    for (const auto &[name, values] : columns)
        list.push_back({name, values.data()});
    return WriteTraceCsv(path, hz.data(), hz.size(), list, error);
}

bool TForm1::SaveTraceCsv(const QString &path, QString &error) {
    TraceTable table;
    return CollectTrace(table, error) && table.Write(path, error);
}

void TForm1::SaveTrace1Click() {
    const QString suggested = pluginsDir + DefaultTraceCsvName(QDateTime::currentDateTime());
    const QString filter = QStringLiteral("CSV files (*.csv)");
    const QString path = askSavePath ? askSavePath(QStringLiteral("Save Trace"), suggested, filter)
                                     : QFileDialog::getSaveFileName(this, QStringLiteral("Save Trace"), suggested, filter);
    if (path.isEmpty())
        return;
    TraceTable table;
    QString error;
    if (!CollectTrace(table, error))
        return ShowError(error);
    // One at a time: the window never waits for the one before.
    if (traceSave_.valid() && traceSave_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return ShowError(QStringLiteral("A trace is still being saved; try again when it is done."));
    statusText.set(QStringLiteral("Saving trace..."));
    traceSave_ = std::async(std::launch::async, [this, path, table = std::move(table)] {
        QString why;
        bool ok = false;
        try {
            ok = table.Write(path, why);
        } catch (const std::exception &e) {
            why = QStringLiteral("Cannot save \"%1\": %2").arg(QDir::toNativeSeparators(path),
                                                                 dynamic_cast<const std::bad_alloc *>(&e)
                                                                     ? QStringLiteral("not enough memory")
                                                                     : QString::fromLocal8Bit(e.what()));
        }
        QMetaObject::invokeMethod(this, [this, ok, path, why] { TraceSaved(ok, path, why); }, Qt::QueuedConnection);
    });
}

void TForm1::WaitForTraceSave() {
    if (traceSave_.valid())
        traceSave_.wait();
}

void TForm1::TraceSaved(bool ok, const QString &path, const QString &error) {
    statusText.set(ok ? QStringLiteral("Trace saved: ") + QDir::toNativeSeparators(path)
                      : QStringLiteral("Trace not saved"));
    if (!ok)
        ShowError(error);
}

void TForm1::SaveImage1Click() {
    const QString suggested = pluginsDir + NowName() + QStringLiteral(".png");
    const QString filter = QStringLiteral("PNG images (*.png)");
    const QString path = askSavePath ? askSavePath(QStringLiteral("Save Image"), suggested, filter)
                                     : QFileDialog::getSaveFileName(this, QStringLiteral("Save Image"), suggested, filter);
    if (path.isEmpty())
        return;
    // The window as it draws itself (no dialog or menu over it), whole or not at all.
    const QImage picture = grab().toImage();
    QSaveFile file(path);
    QString why;
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
    } else {
        QImageWriter writer(&file, "PNG");
        if (!writer.write(picture))
            why = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        else if (!file.commit())
            why = file.errorString();
    }
    if (!why.isEmpty()) {
        file.cancelWriting();
        ShowError(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), why));
        return;
    }
    statusText.set(QStringLiteral("Image saved: ") + QDir::toNativeSeparators(path));
}

// ---- Converter offset

TForm1::EditorLimits TForm1::EditorLimitsFor(double offsetHz) {
    const double shift = offsetHz / kHzPerMHz;
    constexpr double kLowestSkyMHz = 0.001;
    return {std::max(kStartMinMHz + shift, kLowestSkyMHz), kStartMaxMHz + shift,
            std::max(kStopMinMHz + shift, kLowestSkyMHz + 1), kStopMaxMHz + shift};
}

QString TForm1::OffsetText() const {
    const double hz = frequencyOffsetHz_.load();
    if (hz == 0)
        return {};
    QString mhz = QString::number(std::fabs(hz) / kHzPerMHz, 'f', 6);
    while (mhz.endsWith(QLatin1Char('0')))
        mhz.chop(1);
    if (mhz.endsWith(QLatin1Char('.')))
        mhz.chop(1);
    return QStringLiteral("Offset %1%2 MHz").arg(QString(QLatin1Char(hz < 0 ? '-' : '+')), mhz);
}

void TForm1::DrawOffsetFoot() {
    const QString text = OffsetText();
    if (text.isEmpty())
        return;
    TCanvas3D &c = ch->Canvas();
    TFontDesc font = c.Font();
    font.SetSize(8);
    font.Color = ch->IsPrinting() ? clBlack : clYellow;
    c.Font() = font;
    c.SetTextAlign(TextAlign::Left | TextAlign::Top);
    const TRect plot = ch->PlotRect(); // the page's on paper
    c.TextOut(plot.Left + 4, plot.Bottom - c.TextHeightW() - 2, text);
}

void TForm1::ApplyFrequencyOffset(double hz, bool keepReceiverRange) {
    const double delta = hz - frequencyOffsetHz_.load();
    frequencyOffsetHz_ = hz;
    if (!startSpin || !stopSpin)
        return;
    const double start = startSpin->Value() + delta / kHzPerMHz, stop = stopSpin->Value() + delta / kHzPerMHz;
    // The editors hold sky frequencies: their limits move with the offset, so the receiver is
    // never asked outside its own range, nor for a frequency below zero in the sky.
    const EditorLimits limits = EditorLimitsFor(hz);
    startSpin->setMinValue(limits.startMin);
    startSpin->setMaxValue(limits.startMax);
    stopSpin->setMinValue(limits.stopMin);
    stopSpin->setMaxValue(limits.stopMax);
    if (keepReceiverRange) {
        startSpin->setValue(start);
        stopSpin->setValue(stop);
    }
    ch->Invalidate();
}

void TForm1::FrequencyOffset1Click() {
    const double current = frequencyOffsetHz_.load() / kHzPerMHz;
    std::optional<double> mhz;
    if (askOffsetMHz) {
        mhz = askOffsetMHz(current);
    } else {
        bool ok = false;
        const double v = QInputDialog::getDouble(
            this, QStringLiteral("Frequency Offset"),
            QStringLiteral("Converter offset, MHz (shown frequency = receiver frequency + offset):"), current,
            -kMaxOffsetMHz, kMaxOffsetMHz, 6, &ok);
        if (ok)
            mhz = v;
    }
    if (!mhz || !std::isfinite(*mhz) || std::fabs(*mhz) > kMaxOffsetMHz)
        return;
    const double hz = std::round(*mhz * kHzPerMHz);
    WriteSetting(key::FrequencyOffsetHz, FloatToText(hz));
    ApplyFrequencyOffset(hz, true);
}

QString TForm1::ToolParameters() const {
    // The editors show sky frequencies; the receiver tunes to sky - offset.
    ScanParams tool = params;
    if (const double offset = frequencyOffsetHz_.load(); offset != 0) {
        auto receiver = [offset](const QString &sky) {
            const std::optional<double> hz = ParseFloat(sky);
            return hz ? FloatToText(std::round(*hz - offset)) : sky;
        };
        tool.freqMinHz = receiver(params.freqMinHz);
        tool.freqMaxHz = receiver(params.freqMaxHz);
    }
    return BuildSweepParameters(tool);
}

// ---- Receiver options

bool TForm1::ReceiverDialog(ScanParams &p) {
    QDialog d(this);
    d.setWindowTitle(QStringLiteral("Receiver"));
    auto *form = new QFormLayout(&d);
    auto *interval = new QLineEdit(p.interval, &d);
    interval->setToolTip(QStringLiteral("Integration interval: seconds, or a number with s, m or h (0.5s to 24h)"));
    auto *crop = new QLineEdit(p.crop, &d);
    crop->setPlaceholderText(QStringLiteral("none"));
    crop->setToolTip(QStringLiteral("Share of each hop's edges left out, 0 to 50 %"));
    auto *window = new QComboBox(&d);
    window->addItems(FftWindows());
    window->setCurrentText(p.window);
    auto *why = new QLabel(&d);
    why->setStyleSheet(QStringLiteral("color: #c00000"));
    form->addRow(QStringLiteral("Interval"), interval);
    form->addRow(QStringLiteral("Crop"), crop);
    form->addRow(QStringLiteral("FFT window"), window);
    form->addRow(why);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    // Checked as typed: OK waits until all three are what the tool reads.
    auto check = [&] {
        QString error;
        const bool ok = ValidateInterval(interval->text(), &error) && ValidateCrop(crop->text(), &error) &&
                        ValidateWindow(window->currentText(), &error);
        why->setText(ok ? QString() : error);
        buttons->button(QDialogButtonBox::Ok)->setEnabled(ok);
    };
    QObject::connect(interval, &QLineEdit::textChanged, &d, check);
    QObject::connect(crop, &QLineEdit::textChanged, &d, check);
    QObject::connect(window, &QComboBox::currentTextChanged, &d, check);
    check();
    if (d.exec() != QDialog::Accepted)
        return false;
    p.interval = interval->text();
    p.crop = crop->text();
    p.window = window->currentText();
    return true;
}

void TForm1::Receiver1Click() {
    ScanParams p = params;
    if (!(askReceiverOptions ? askReceiverOptions(p) : ReceiverDialog(p)))
        return;
    const std::optional<QString> interval = ValidateInterval(p.interval), crop = cropOrNone(p.crop),
                                 window = ValidateWindow(p.window);
    if (!interval || !crop || !window)
        return; // never sent to the tool
    params.interval = *interval;
    params.crop = *crop;
    params.window = *window;
    settings->SetValue(key::Interval, params.interval);
    settings->SetValueKeepingKey(key::Crop, params.crop.isEmpty() ? QStringLiteral("0") : params.crop);
    settings->SetValue(key::Window, params.window);
    // A parameter change like the others: saved, and the next sweep is the new one.
    ppmChange();
}

// ---- Settings

void TForm1::ReadMeasurementSettings() {
    // Only read, never written at start-up; what cannot be used counts as not set.
    for (int k = 0; k < 2; ++k) {
        const std::optional<double> hz = ParseFloat(settings->Value(k == 0 ? key::MarkerAHz : key::MarkerBHz));
        if (hz && std::isfinite(*hz))
            markerHz_[k] = *hz;
    }
    if (const std::optional<double> offset = ParseFloat(settings->Value(key::FrequencyOffsetHz));
        offset && std::isfinite(*offset) && std::fabs(*offset) <= kMaxOffsetMHz * kHzPerMHz)
        ApplyFrequencyOffset(std::round(*offset), false);
    if (const std::optional<QString> interval = ValidateInterval(settings->Value(key::Interval)))
        params.interval = *interval;
    if (const std::optional<QString> crop = cropOrNone(settings->Value(key::Crop)))
        params.crop = *crop;
    if (const std::optional<QString> window = ValidateWindow(settings->Value(key::Window)))
        params.window = *window;
}

} // namespace sky
