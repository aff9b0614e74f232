#pragma once
// State shared by the window and the scan worker.
#include <QString>

#include <atomic>
#include <mutex>

namespace sky {

// The six scan parameter texts, exactly as they go onto the sweep tool's command line and into
// the settings file, and the tool's interval, crop and FFT window (see receiver_options.h), which
// go on in their checked form.
struct ScanParams {
    QString dongleNumber;
    QString freqMinHz;
    QString freqMaxHz;
    QString freqStep;
    QString gainLevel;
    QString ppmCorrection;
    QString interval = QStringLiteral("0.5s");
    QString crop{}; // empty: not given
    QString window = QStringLiteral("hamming");
};

// The two flags the worker reads on its own thread; the window writes them.
struct WorkerFlags {
    std::atomic<bool> launchRequested{false};
    std::atomic<bool> awaitingSweepFile{false};
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
