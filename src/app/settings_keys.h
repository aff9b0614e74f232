#pragma once
// The keys of settings.ini, spelled once.
#include <QString>

namespace sky::key {

inline const QString DongleNumber = QStringLiteral("Dongle number");
inline const QString FreqMinHz = QStringLiteral("Freq min Hz");
inline const QString FreqMaxHz = QStringLiteral("Freq max Hz");
inline const QString FreqStep = QStringLiteral("Freq step");
inline const QString GainLevel = QStringLiteral("Gain level");
inline const QString Ppm = QStringLiteral("PPM");
inline const QString ChartPoint = QStringLiteral("Chart Point");
inline const QString ChartScale = QStringLiteral("Chart Scale");
inline const QString ChartMax = QStringLiteral("Chart Max");
inline const QString ChartColor = QStringLiteral("Chart Color");
inline const QString WaterfallColorStart = QStringLiteral("Waterfall Color Start");
inline const QString WaterfallColorEnd = QStringLiteral("Waterfall Color End");
inline const QString Codec = QStringLiteral("Codec");
inline const QString Developer = QStringLiteral("Developer");
inline const QString HomePage = QStringLiteral("H-page");
inline const QString LogSweeps = QStringLiteral("Log sweeps");
inline const QString MaxHold = QStringLiteral("Max hold");
inline const QString Average = QStringLiteral("Average");
inline const QString MinHold = QStringLiteral("Min hold");
inline const QString Persistence = QStringLiteral("Persistence");
inline const QString WaterfallLevels = QStringLiteral("Waterfall levels");
inline const QString WaterfallMinDb = QStringLiteral("Waterfall min dB");
inline const QString WaterfallMaxDb = QStringLiteral("Waterfall max dB");
inline const QString WaterfallColours = QStringLiteral("Waterfall colours");
inline const QString MarkerAHz = QStringLiteral("Marker A Hz");
inline const QString MarkerBHz = QStringLiteral("Marker B Hz");
inline const QString FrequencyOffsetHz = QStringLiteral("Frequency offset Hz");
inline const QString Interval = QStringLiteral("Interval");
inline const QString Crop = QStringLiteral("Crop");
inline const QString Window = QStringLiteral("Window");

} // namespace sky::key
