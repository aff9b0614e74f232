// TForm1's settings: reading them at start-up, the parameter controls, the check boxes and the
// settle timer.
#include "app/main_form.h"

#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "app/spin_double.h"
#include "platform/error.h"
#include "platform/numtext.h"
#include "scan/sweep_tool.h"

#include <utility>

namespace sky {

void TForm1::ReadSettings() {
    // The six parameter texts, exactly as stored.
    params.dongleNumber = settings->Value(key::DongleNumber);
    params.freqMinHz = settings->Value(key::FreqMinHz);
    params.freqMaxHz = settings->Value(key::FreqMaxHz);
    params.freqStep = settings->Value(key::FreqStep);
    params.gainLevel = settings->Value(key::GainLevel);
    params.ppmCorrection = settings->Value(key::Ppm);

    dongle->setValue(ParseIntOr(params.dongleNumber, 0));
    ppm->setValue(ParseIntOr(params.ppmCorrection, 0));

    flags.chartColor = ParseIntOr(settings->Value(key::ChartColor), 255);
    flags.waterfallColorStart = ParseIntOr(settings->Value(key::WaterfallColorStart), flags.waterfallColorStart);
    flags.waterfallColorEnd = ParseIntOr(settings->Value(key::WaterfallColorEnd), flags.waterfallColorEnd);

    // Setting a box to another state runs its handler by itself; then it runs once more.
    auto boxValue = [&](const QString &k, int fallback) {
        return (ParseIntOr(settings->Value(k), fallback) & 0xFF) != 0;
    };
    point->setChecked(boxValue(key::ChartPoint, 0));
    pointClick();

    step->setEditText(params.freqStep);
    gain->setEditText(params.gainLevel);

    axs->setChecked(boxValue(key::ChartScale, 1));
    axsClick();
    mx->setChecked(boxValue(key::ChartMax, 0));
    mxClick();

    LogSweeps1->setChecked(boxValue(key::LogSweeps, 0));
    MaxHold1->setChecked(boxValue(key::MaxHold, 0));
    if (MaxHold1->isChecked())
        ApplyMaxHold(); // as stored: nothing to save
    ReadTraceSettings();
    ReadMeasurementSettings();
}

void TForm1::WriteSetting(const QString &key, const QString &value) {
    settings->SetValue(key, value);
    SaveSettings();
}

void TForm1::SaveSettings() {
    if (!startingUp_)
        return settings->Save();
    try {
        settings->Save();
    } catch (const Error &e) {
        ReportStartupError(e.text());
    }
}

void TForm1::ReportStartupError(const QString &message) {
    if (!startupErrors_.contains(message))
        startupErrors_ << message;
}

void TForm1::ApplyChartPoint() {
    const bool on = point->isChecked();
    spectrum.sweepSeries.Pointer().SetVisible(on);
    spectrum.Series1.Pointer().SetVisible(on);
    spectrum.Series5.Pointer().SetVisible(false);
    spectrum.sweepSeries.Pointer().SetStyle(spectrum.Series1.Pointer().Style());
    spectrum.sweepSeries.Pointer().SetHorizSize(2);
    spectrum.sweepSeries.Pointer().SetVertSize(2);
    spectrum.Series5.Pointer().SetHorizSize(1);
    spectrum.Series5.Pointer().SetVertSize(1);
}

void TForm1::ApplyChartScale() {
    const bool on = axs->isChecked();
    ch->Right().SetAutomatic(on);
    ch->Left().SetAutomatic(on);
    if (!on) {
        // Both ends at once: setting them one by one could be refused against the old range.
        ch->Right().SetRange(-110, 10);
        ch->Left().SetRange(-110, 10);
    }
}

void TForm1::ApplyChartMax() {
    spectrum.Series4.Pointer().SetVisible(mx->isChecked());
}

void TForm1::CheckBoxClick(QCheckBox *box, const QString &key, void (TForm1::*apply)()) {
    if (!settings)
        return;
    (this->*apply)();
    WriteSetting(key, box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TForm1::pointClick() { CheckBoxClick(point, key::ChartPoint, &TForm1::ApplyChartPoint); }
void TForm1::axsClick() { CheckBoxClick(axs, key::ChartScale, &TForm1::ApplyChartScale); }
void TForm1::mxClick() { CheckBoxClick(mx, key::ChartMax, &TForm1::ApplyChartMax); }

void TForm1::RestartSettleTimer() {
    Timer1->start();
}

void TForm1::Timer1Timer() {
    EnforceMinimumSpan();
    RequestAxisReset();
    // A change has settled: a launch held back meanwhile (by the change, or by what the change
    // may have mended, such as an empty Step) is tried again. The timer keeps firing each
    // second; without a change there is nothing new to try.
    const bool settled = flags.paramChangePending;
    flags.paramChangePending = false;
    if (!settled)
        return;
    // A run of the old parameters is ended, so the new range starts at once.
    if (sweepTool_->Running() && runParameters_ != BuildSweepParameters(params))
        EndToolRun({});
    else
        ReleaseLaunch();
}

void TForm1::EnforceMinimumSpan() {
    if (!startSpin || !stopSpin)
        return;
    // Editing has ended: a typed value comes into its editor's range ("14" becomes 24), so what
    // is saved and swept is what the editor shows. A changed editor runs the change handler,
    // which saves and settles again.
    for (TSpinEditDouble *e : {startSpin, stopSpin})
        if (e->Value() != e->ClampValue(e->Value()))
            e->setValue(e->Value());
    if (stopSpin->Value() <= startSpin->Value() + 1)
        stopSpin->setValue(startSpin->Value() + 1);
}

void TForm1::RequestAxisReset() {
    if (InfinityMode() && !flags.paramChangePending)
        flags.axisResetRequested = true;
}

void TForm1::ppmChange() {
    if (!flags.controlsReady)
        return;
    flags.paramChangePending = true;
    Timer1->stop();
    params.dongleNumber = QString::number(dongle->value());
    // The texts as they stand, half-typed ones too: the minimum span waits until editing ends,
    // and no sweep starts with stop at or below start.
    const QString oldMin = params.freqMinHz, oldMax = params.freqMaxHz;
    params.freqMinHz = FloatToText(startSpin->Value() * kHzPerMHz);
    params.freqMaxHz = FloatToText(stopSpin->Value() * kHzPerMHz);
    // A range the user typed ends a zoom: the frequency axis follows the sweeps of the new range
    // (a zoomed axis would show an empty chart beside them).
    if (!followingAxis_ && (params.freqMinHz != oldMin || params.freqMaxHz != oldMax))
        ch->ResetZoom();
    params.freqStep = step->currentText();
    params.gainLevel = gain->currentText();
    params.ppmCorrection = QString::number(ppm->value());

    settings->SetValue(key::DongleNumber, params.dongleNumber);
    settings->SetValue(key::FreqMinHz, params.freqMinHz);
    settings->SetValue(key::FreqMaxHz, params.freqMaxHz);
    // An emptied box keeps its last value in the file: the launch waits until it is filled.
    if (!params.freqStep.trimmed().isEmpty())
        settings->SetValue(key::FreqStep, params.freqStep);
    if (!params.gainLevel.trimmed().isEmpty())
        settings->SetValue(key::GainLevel, params.gainLevel);
    settings->SetValue(key::Ppm, params.ppmCorrection);
    // The change applies whether or not it could be saved: the settle count runs first. A save
    // that fails is told once, until one succeeds again.
    Timer1->start();
    try {
        settings->Save();
        saveFailureTold_ = false;
    } catch (const Error &) {
        if (std::exchange(saveFailureTold_, true))
            return;
        throw;
    }
}

} // namespace sky
