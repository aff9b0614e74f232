#pragma once
// The main window: owns every long-lived object, holds the state the worker, the timers and the
// commands share, and runs start-up and shut-down.
#include "display/image_view.h"
#include "display/spectrum_chart.h"
#include "display/waterfall.h"
#include "scan/scan_state.h"
#include "scan/scan_worker.h"
#include "scan/sweep_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QSplitter>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <string_view>
#include <functional>
#include <memory>

namespace sky {

class SettingsFile;
class StatusTimer;
class TSpinEditDouble;
class TTray;

struct StartOptions {
    QString pluginsDir;  // empty: the "plugins" folder beside the executable
    QString sweepTool;   // empty: the sweep tool found in the plugins folder or on PATH
    // Show sweep files only: no sweep tool is started or ended, no status timer, no worker, and
    // settings are read (from pluginsDir when given, else the defaults) but never written.
    bool renderOnly = false;
};

// A black panel without bevel.
class TPanel : public QFrame {
    Q_OBJECT
public:
    explicit TPanel(QWidget *parent = nullptr);
signals:
    void resized();
    void clicked();
    void pressed(Qt::MouseButton button);
protected:
    void resizeEvent(QResizeEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
};

// Status bar of fixed-width panels.
class TStatusBar : public QFrame {
    Q_OBJECT
public:
    TStatusBar(const QList<int> &widths, QWidget *parent = nullptr);
    void SetPanelText(int index, const QString &text);
    QString PanelText(int index) const;
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QLabel *Panel(int index) const { return panels_.at(index); }
private:
    QList<QLabel *> panels_;
};

class TForm1 : public QWidget, public ScanHost {
    Q_OBJECT
public:
    explicit TForm1(const StartOptions &options = {}, QWidget *parent = nullptr);
    ~TForm1() override; // FormDestroy

    // Shared state.
    ScanParams params;
    ScanFlags flags;
    StatusText statusText;
    QString pluginsDir;
    QString settingsPath;
    QString sweepToolPath;
    std::unique_ptr<SettingsFile> settings;
    std::unique_ptr<th> scanThread;
    QImage videoFrameBitmap, ScreenshotBitmap;
    std::unique_ptr<TWaterfall> waterfall; // waterfallBuffer, waterfallLine, waterfallLineScaled
    SpectrumSeries spectrum;               // Series1..Series5 and sweepSeries
    bool startupCompleted = false; // every start-up step ran

    // Controls.
    TChart *ch = nullptr; // the spectrum chart
    QSplitter *Splitter1 = nullptr;
    TPanel *Panel2 = nullptr, *Panel3 = nullptr, *Panel1 = nullptr;
    TImage *img2 = nullptr;
    TStatusBar *sb = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr;
    QSpinBox *dongle = nullptr, *ppm = nullptr;
    TSpinEditDouble *startSpin = nullptr, *stopSpin = nullptr; // created at start-up
    QComboBox *step = nullptr, *gain = nullptr;
    QCheckBox *point = nullptr, *axs = nullptr, *mx = nullptr;
    TImage *Image1 = nullptr, *Image2 = nullptr, *Image3 = nullptr, *Image4 = nullptr, *Image5 = nullptr;
    QMenu *pm1 = nullptr;
    QAction *Infinity1 = nullptr; // "Mode Infinity", checkable
    QAction *About1 = nullptr, *Screenshot1 = nullptr, *recc = nullptr, *PrintPreview1 = nullptr, *Close1 = nullptr;
    QMenu *Options1 = nullptr, *codec = nullptr;
    std::unique_ptr<TTray> tray;
    QTimer *Timer1 = nullptr, *tavi = nullptr;

    // Scan cycle steps handed over by the worker (window thread).
    void LaunchSweepTool() override;
    void IngestSweepFile() override;
    void UpdateViewAfterPass() override;

    // Reads one sweep's text into the series, the waterfall and the status panels. Any failure
    // ends it silently, keeping what was done so far.
    void AssembleSweep(std::string_view text);
    // Reads a sweep file into the reusable file buffer (fileBuffer_); false when it cannot be
    // read or is larger than any sweep file.
    bool LoadSweepFile(const QString &path);
    const QByteArray &FileBuffer() const { return fileBuffer_; }
    // What the last ingest found (for the render mode's report).
    struct SweepSummary {
        bool ok = false;
        qint64 values = 0;
        double noiseDb = 0, maxHz = 0, maxDb = 0;
        QString step;
    };
    const SweepSummary &LastSweep() const { return lastSweep_; }
    // Sweep files larger than this are deleted unread.
    static constexpr qint64 kMaxSweepFileBytes = 512LL * 1024 * 1024;

    // The colour dialog `cd`: shows `initial`, returns true and the chosen colour when confirmed.
    // Tests replace it.
    std::function<bool(WinColor initial, WinColor &chosen)> cd;
    // Double click on the waterfall: choose the weakest-bin and then the strongest-bin colour.
    void img2DblClick();

    // Commands.
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void FormMouseDown(Qt::MouseButton button);
    void Image3Click();   // Stop Visualization
    void Image5Click();   // Mode Infinity
    void Infinity1Click(); // the mode notice
    void About1Click();
    void Close1Click();
    // Screenshot, recording and print preview come with their features; until then they do
    // nothing.
    void Image4Click();
    void reccClick();
    void Image2Click();
    static QString AboutText();
    // Scrolls the two axes of one direction by p percent of their span.
    void ScrollAxes(bool horizontal, double percent);

    // Chart handlers: cursor readout, Mode Infinity range follow, trace colour, focus and menu.
    void chMouseMove(int x, int y);
    void chAfterDraw();
    void chMouseDown();
    void chMouseUp();
    void chClick();
    void chClickSeries(TChartSeries *series, int index);
    // Mode Infinity: the editors take the bottom axis's range.
    void FollowAxisRange();
    int cursorX = 0, cursorY = 0;
    QString cursorXText, cursorYText;

    // Waterfall: fit the bitmaps to img2 (window resize and splitter moves).
    void FormResize();
    int waterfallLeftPx = 0, waterfallRightPx = 0;

    // Settle timer.
    void Timer1Timer();
    void RequestAxisReset();
    // Restarts the one-second settle count (parameter change, key press).
    void RestartSettleTimer();

    // The change handler of the six parameter controls: copies them into the scan texts, saves
    // them and holds launches back for one settle period.
    void ppmChange();

    // Check box handlers: write their key and save.
    void pointClick();
    void axsClick();
    void mxClick();

    // Writes one key and saves; a failed save reports through the error handler.
    void WriteSetting(const QString &key, const QString &value);

    // Mode Infinity is on (the menu item "Mode Infinity" is checked).
    bool InfinityMode() const;

    QString SweepFilePath() const;

signals:
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override; // key preview
    void mousePressEvent(QMouseEvent *e) override;
    void showEvent(QShowEvent *e) override;   // FormShow
    void closeEvent(QCloseEvent *e) override;

private:
    void BuildControls();
    void FormCreate(const StartOptions &options);
    void FormDestroy();

    // Start-up steps whose behaviour comes with later features.
    void HideTaskbarButton();
    void InstallTrayIcon();
    void ApplyChartScale();
    void ApplyChartPoint();
    void ApplyChartMax();
    void CreateFrequencyEditors();
    void SetImg2Bounds(int left, int width);
    void CreateAviWriter();
    void FillCodecMenu();
    void AttachMenuPainter();
    void RemoveTrayIcon();
    void FinishRecordingOnClose();

    void StartScanThread();
    void refreshStatusPanel();

    std::unique_ptr<StatusTimer> statusTimer_;
    bool destroyed_ = false;
    int img2RightMargin_ = 716 - 45 - 624;
    SweepSummary lastSweep_;
    SweepData sweepData_;              // buffers reused from sweep to sweep
    std::vector<double> noiseLevels_, peakX_, peakY_;
    QByteArray fileBuffer_;
};

} // namespace sky
