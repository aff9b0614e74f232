#pragma once
// State the window shares with the worker, the status timer and its own handlers.
#include "chart/color.h"
#include "scan/scan_state.h"

#include <QString>

#include <atomic>

namespace sky {

struct ScanFlags : WorkerFlags {
    std::atomic<int> statusTickCount{0}; // counted by the status timer's own thread
    // Window thread only.
    bool controlsReady = false;
    bool paramChangePending = false;
    bool axisResetRequested = false;
    bool hiddenToTray = false;
    bool visualizationStopped = false;
    bool recordingActive = false;
    TColor chartColor = 255;
    TColor waterfallColorStart = 8388608;
    TColor waterfallColorEnd = 65280;
    QString codecFourCC = QStringLiteral("cvid");
};

// The frequency editors show MHz; the parameter texts, the sweep file and the axis hold Hz.
inline constexpr double kHzPerMHz = 1000000.0;

} // namespace sky
