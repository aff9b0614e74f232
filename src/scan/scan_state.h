#pragma once
// State shared by the window, the scan worker and the status timer.
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace sky {

// The six scan parameter texts, exactly as they go onto the sweep tool's command line and into
// the settings file.
struct ScanParams {
    QString dongleNumber;
    QString freqMinHz;
    QString freqMaxHz;
    QString freqStep;
    QString gainLevel;
    QString ppmCorrection;
};

// Colours are Windows colour values: red in the low byte, then green, then blue.
using WinColor = std::int32_t;

struct ScanFlags {
    // Touched by the worker's own loop as well as by the window thread.
    std::atomic<bool> launchRequested{false};
    std::atomic<bool> awaitingSweepFile{false};
    std::atomic<int> statusTickCount{0};
    // Window thread only.
    bool controlsReady = false;
    bool paramChangePending = false;
    bool axisResetRequested = false;
    bool hiddenToTray = false;
    bool visualizationStopped = false;
    bool recordingActive = false;
    WinColor chartColor = 255;
    WinColor waterfallColorStart = 8388608;
    WinColor waterfallColorEnd = 65280;
    QString codecFourCC = QStringLiteral("cvid");
};

// The worker's status text, written by the worker and read by the status timer.
class StatusText {
public:
    void set(const QString &text) {
        std::lock_guard lock(m_);
        text_ = text;
    }
    QString get() const {
        std::lock_guard lock(m_);
        return text_;
    }

private:
    mutable std::mutex m_;
    QString text_;
};

} // namespace sky
