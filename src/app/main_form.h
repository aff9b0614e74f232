#pragma once
// The main window: owns every long-lived object, holds the state the worker, the timers and the
// commands share, and runs start-up and shut-down.
//
// TForm1 is one class spread over files by concern:
//   main_form.cpp           construction, start-up, shut-down, shared helpers
//   main_form_layout.cpp    widget creation and geometry (TPanel, TStatusBar, the control strip)
//   main_form_settings.cpp  settings, parameter controls, check boxes, the settle timer
//   main_form_scan.cpp      the scan cycle steps: launch, ingest, view update
//   main_form_display.cpp   chart handlers: cursor readout, Mode Infinity, colours, waterfall fit
//   main_form_commands.cpp  keys, popup menu, toggles, About, tray
//   main_form_capture.cpp   screenshot, recording, print preview, codec menu, menu painter
#include "app/window_state.h"
#include "capture/avi_writer.h"
#include "capture/recording_controller.h"
#include "display/image_view.h"
#include "display/spectrum_chart.h"
#include "display/trace_hold.h"
#include "display/waterfall.h"
#include "scan/band_power.h"
#include "scan/scan_worker.h"
#include "scan/sweep_log.h"
#include "scan/sweep_ingest.h"
#include "scan/sweep_tool_run.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
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
#include <atomic>
#include <map>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace sky {

class SettingsFile;
class StatusTimer;
class TSpinEditDouble;
class TTray;

struct StartOptions {
    QString pluginsDir; // empty: the "plugins" folder beside the executable
    QString sweepTool;  // empty: the sweep tool found in the plugins folder or on PATH
    // Show sweep files only: no sweep tool is started or ended, no status timer, no worker, and
    // settings are read (from pluginsDir when given, else the defaults) but never written.
    bool renderOnly = false;
    // A window that plays recorded sweeps (fed through AssembleSweep by its driver): tray, keys
    // and status as usual, but no sweep tool is started or ended, no worker runs, and settings
    // are read but never written.
    bool replay = false;
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
    // Panels of the given widths, each widened where its widest text (if given) would not fit.
    TStatusBar(const QList<int> &widths, const QStringList &widestTexts = {}, QWidget *parent = nullptr);
    // Whether `text` shows whole in the panel.
    bool Fits(int index, const QString &text) const;
    void SetPanelText(int index, const QString &text, const QString &hint = {});
    QString PanelText(int index) const;
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QLabel *Panel(int index) const { return panels_.at(index); }
    // Widens the last panel as far as its text needs, or back to its own width; never beyond
    // the bar (a narrower window shows the text cut with "..." and whole as the hint). Kept so
    // when the bar is resized.
    void FitPanel(int index);

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void ShowPanelText(int index); // the panel's text as its width allows
    QList<QLabel *> panels_;
    QList<int> widths_; // each panel's own width
    QList<int> fitted_; // panels FitPanel sizes
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
    bool startupCompleted = false;         // every start-up step ran

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
    QAction *LogSweeps1 = nullptr, *MaxHold1 = nullptr; // check items, saved as "Log sweeps", "Max hold"
    QMenu *Trace1 = nullptr, *Waterfall1 = nullptr, *Colours1 = nullptr; // Options > Trace, > Waterfall (> Colours)
    QAction *Live1 = nullptr, *Average1 = nullptr, *MinHold1 = nullptr; // radio items of Trace
    QAction *Persistence1 = nullptr;                                    // check item of Trace
    QAction *LevelsSweep1 = nullptr, *LevelsFixed1 = nullptr, *LevelsAuto1 = nullptr; // radio items of Waterfall
    std::vector<QAction *> colourItems; // radio items of Colours, in WaterfallColours order
    QMenu *Markers1 = nullptr; // Options > Markers
    QAction *ClearMarkers1 = nullptr, *SaveTrace1 = nullptr, *SaveImage1 = nullptr, *FrequencyOffset1 = nullptr,
            *Receiver1 = nullptr;
    std::unique_ptr<TTray> tray;
    QTimer *Timer1 = nullptr, *tavi = nullptr;

    // ---- main_form_scan.cpp: scan cycle steps handed over by the worker (window thread).
    // A launch starts the sweep tool unless something holds it back (see LaunchHoldReason); a
    // held launch goes once that is over (ReleaseLaunch), never more than one run at a time.
    void LaunchSweepTool() override;
    void IngestSweepFile() override;
    void UpdateViewAfterPass() override;
    // Worker thread: reads and analyses the sweep file ahead of the hand-over (prepared_), so the
    // window thread only shows the result.
    void PrepareSweepFile() override;
    // Runs first in PrepareSweepFile, on the worker thread; tests make it throw.
    std::function<void()> PrepareFault;

    // Hands one sweep's text through the ingest into the series, the waterfall and the status
    // panels. Any failure ends it silently, keeping what was done so far.
    void AssembleSweep(std::string_view text);
    // The same in pieces, for a sweep read a run of lines at a time: its lines go into
    // SweepBeingRead (through a SweepParser), then AssembleReadSweep takes it in.
    SweepData &SweepBeingRead() { return findings_.data; }
    void AssembleReadSweep();
    // What the worker found of a sweep's values besides the ingest: the chart takes it for
    // known instead of passing over millions of values on the window thread.
    struct SweepValueFacts {
        TValueFacts x, y;
        TValueFacts peakX, peakY; // of the peaks found
        static SweepValueFacts Of(const SweepFindings &f); // one vectorised pass over each array
    };
    // Shows an analysed sweep: series, waterfall, status panels, max hold.
    void ShowSweep(SweepFindings &f, const SweepValueFacts &facts);
    // Draws the shown sweep's waterfall row again (after the waterfall moved), without taking
    // the sweep in a second time.
    void RedrawWaterfallRow();
    // A waterfall row from the trace's levels, in whichever form they are held.
    bool AddWaterfallRow(const TChartValueList &levels, std::size_t n, std::size_t maxIndex, std::size_t minIndex);
    // What the last ingest found (for the render mode's report).
    struct SweepSummary {
        bool ok = false;
        qint64 values = 0;
        double noiseDb = 0, maxHz = 0, maxDb = 0;
        QString step;
        bool averaged = false; // the levels are an average of sweeps
        std::size_t maxIndex = 0, minIndex = 0; // its strongest and weakest bin
    };
    const SweepSummary &LastSweep() const { return lastSweep_; }
    int sweepCount = 0; // sweep files read and shown since start-up
    // Why a launch must wait (shown in status panel 0), or empty when it may go.
    QString LaunchHoldReason() const;
    // The run of the sweep tool, our child; a failed run is retried after 1 s, 2 s, ... 5 s.
    SweepToolRun *sweepTool_ = nullptr;
    QTimer *retryTimer_ = nullptr;
    int failureStreak_ = 0; // runs in a row that ended without a sweep
    // The last failed run: the line panel 0 shows, and the tool's whole error output, its hint.
    QString toolFailureLine_, toolFailureOutput_;
    static constexpr int kMaxRetrySeconds = 5;
    static constexpr int kNotASweepFileRetryMs = 1000;
    static inline const QString kNotASweepFileText = QStringLiteral("scan.csv is not a file: sweeps wait");
    static inline const QString kVisualizationStoppedText = QStringLiteral("Visualization stopped");
    static inline const QString kCutSweepText = QStringLiteral("its last line is cut short");
    // A run is ended when it takes three times as long as the last sweep of its range, and
    // never sooner than this.
    qint64 minHungToolMs = 30000; // tests shorten it
    // How long the run just started may take before it counts as hung.
    qint64 HungToolLimitMs() const;
    QTimer *hungToolTimer_ = nullptr;
    QElapsedTimer runClock_;                 // since the running tool was started
    QString runParameters_;                  // its parameters
    std::map<QString, qint64> sweepMs_;      // how long a sweep of these parameters took
    std::atomic<bool> toolRunning_{false};   // read by the worker: nothing to prepare meanwhile
    bool preparedWhileToolRan_ = false;       // the worker's last look found the run still going
    // A regular file, not a link: what the sweep tool writes. Nothing else is opened.
    static bool IsSweepFileCandidate(const QFileInfo &info);

    // ---- main_form_display.cpp
    // The colour dialog `cd`: shows `initial`, returns true and the chosen colour when confirmed.
    // Tests replace it.
    std::function<bool(TColor initial, TColor &chosen)> cd;
    // Double click on the waterfall: choose the weakest-bin and then the strongest-bin colour.
    void img2DblClick();

    // ---- main_form_commands.cpp

    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // The focus is in an editable text: digits, signs and arrows are typing keys there.
    bool FocusIsTextField() const;
    void FormMouseDown(Qt::MouseButton button);
    void Image3Click();    // Stop Visualization
    void Image5Click();    // Mode Infinity
    void Infinity1Click(); // the mode notice
    void About1Click();
    void Close1Click();
    static QString AboutText();
    // The image buttons' pictures: 1 record, 2 print, 3 pause, 4 screenshot, 5 infinity, 6 play.
    static QImage ButtonPicture(int kind);
    static constexpr int kPausePicture = 3, kPlayPicture = 6;
    // Scrolls the two axes of one direction by p percent of their span.
    void ScrollAxes(bool horizontal, double percent);

    // ---- main_form_sweep_log.cpp: the sweep log, max hold and the peak readout.
    // Options > Log Sweeps: every sweep file read successfully is appended, byte for byte, to
    // plugins/sweeps-YYYY-MM-DD.csv (rtl_power's multi-sweep format). A failing write turns the
    // log off with one notice; the sweep cycle goes on.
    void LogSweeps1Click();
    QString SweepLogPath() const; // today's log
    // Queues the bytes to the log's own thread (the buffer is shared, not copied).
    void AppendToSweepLog(const QByteArray &sweepFile);
    void SweepLogFailed(const QString &path, const QString &why);
    std::unique_ptr<TSweepLog> sweepLog_;
    // Options > Max Hold: a dim series under the trace with the highest level of each bin since
    // it was switched on or the range or bin layout changed.
    void MaxHold1Click();  // saves the choice, then ApplyMaxHold
    void ApplyMaxHold();   // the series joins (under the rest) or leaves the chart, afresh
    THeldTrace maxHold_{THeldTrace::Kind::Highest};
    TFastLineSeries &maxHoldSeries = maxHold_.Series();

    // ---- main_form_trace.cpp: Options > Trace and Options > Waterfall, Ctrl + wheel zoom.
    // Trace: "Live" (the sweep as read), "Average" (over N sweeps, in power; the noise line,
    // peaks and strongest bin follow it) or "Min Hold" (a dim series of each bin's lowest
    // level); "Persistence" keeps the last N traces under the live one, fading. All off at a
    // first start; kept as "Average", "Min hold", "Persistence".
    enum class TraceMode { Live, Average, MinHold };
    void Live1Click();
    void Average1Click();
    void MinHold1Click();
    void Persistence1Click();
    // The trace options as the menu shows them: averaging, holds and persistence set up afresh.
    void ApplyTraceOptions();
    // After each sweep shown (persistence took the trace before it first) and each change of
    // the options: holds and persistence take the trace, and the chart gets their series.
    void UpdateUnderlays();
    // Live, Average or Min Hold chosen: saved, then applied.
    void ChooseTraceMode(TraceMode mode);
    // The series under the trace, in the chart in their order: persistence (oldest lowest), min
    // hold, max hold.
    void ArrangeUnderlays();
    TTraceAverage average_; // read by the worker's ingest as well
    THeldTrace minHold_{THeldTrace::Kind::Lowest};
    TFastLineSeries &minHoldSeries = minHold_.Series();
    TTracePersistence persistence_;
    static constexpr int kDefaultPersistence = 5, kMaxPersistence = 20;
    // Waterfall: "Per sweep", "Fixed range" (from/to dB asked in a dialog), "Auto range"; colours:
    // the two chosen ones or a colour map. Kept as "Waterfall levels", "Waterfall min dB",
    // "Waterfall max dB", "Waterfall colours".
    void WaterfallLevelsClick(WaterfallLevels levels);
    void WaterfallColoursClick(WaterfallColours colours);
    // Gives the waterfall the options the menu shows (also for a waterfall made anew).
    void ApplyWaterfallOptions();
    double waterfallMinDb = -100, waterfallMaxDb = 0;
    // Asks for a whole number in min..max (Average's and Persistence's N); empty when cancelled.
    // Tests replace it.
    std::function<std::optional<int>(const QString &title, const QString &label, int value, int min, int max)>
        askNumber;
    // Asks for the fixed waterfall range, from < to in dB; false when cancelled. Tests replace it.
    std::function<bool(double &fromDb, double &toDb)> askLevelRange;
    // Ctrl + wheel over the chart: the frequency axis zooms by 20 % a notch about the frequency
    // under the pointer (in for a turn away from the user), as a user zoom.
    void ZoomFrequencyAt(int x, double notches);
    // ---- main_form_markers.cpp: markers A and B, trace and image export, the converter offset
    // and the receiver options (Options > Markers, Save Trace..., Save Image..., Frequency
    // Offset..., Receiver...). All off at a first start; kept as "Marker A Hz", "Marker B Hz",
    // "Frequency offset Hz", "Interval", "Crop", "Window".
    // Ctrl + click on the chart sets marker A at the nearest bin, Ctrl + Shift + click marker B.
    void SetMarkerAt(int which, int x);
    void ClearMarkers1Click();
    // Each set marker: its frequency and the level of the trace's bin nearest to it now; with
    // both, the power of the bins between them (10 log10 of the sum of their linear powers).
    struct MarkerReadout {
        bool set[2] = {false, false};
        double hz[2] = {0, 0}, db[2] = {0, 0};
        std::optional<BandPower> band;
    };
    MarkerReadout Markers();
    std::optional<double> markerHz_[2];
    void DrawMarkers(); // a line and label per marker, the readout at the plot's top right
    void SaveTrace1Click();
    void SaveImage1Click();
    // The last sweep as CSV: frequency_hz, level_db (the sweep's own levels) and max_hold_db,
    // min_hold_db, average_db for what is on. False with the reason when it could not be written.
    bool SaveTraceCsv(const QString &path, QString &error);
    // What a trace file holds, copied out of the series so it can be written on another thread.
    struct TraceTable {
        std::vector<double> hz;
        std::vector<std::pair<QString, std::vector<double>>> columns;
        bool Write(const QString &path, QString &error) const;
    };
    bool CollectTrace(TraceTable &table, QString &error) const;
    // Save Trace... writes on a thread of its own (millions of rows take a second); the window
    // says when it is done, or shows why it failed. Closing waits for it.
    std::future<void> traceSave_;
    void WaitForTraceSave();
    void TraceSaved(bool ok, const QString &path, const QString &error);
    // Asks where to save (a file name in a folder); empty when cancelled. Tests replace it.
    std::function<QString(const QString &title, const QString &path, const QString &filter)> askSavePath;
    // Up- and down-converters: the sky frequency is the receiver's plus this. The editors, the
    // axis, readouts, markers and exports show sky frequencies; the tool is asked for receiver
    // ones. Read by the worker's ingest too.
    void FrequencyOffset1Click();
    // Sets the offset; with `keepReceiverRange` the editors move by the change, so the receiver
    // sweeps what it swept.
    void ApplyFrequencyOffset(double hz, bool keepReceiverRange);
    // The editors' ranges (MHz) under an offset: the receiver's own, moved by it, and never below
    // zero in the sky.
    struct EditorLimits {
        double startMin, startMax, stopMin, stopMax;
    };
    static EditorLimits EditorLimitsFor(double offsetHz);
    std::atomic<double> frequencyOffsetHz_{0};
    std::function<std::optional<double>(double currentMHz)> askOffsetMHz; // tests replace it
    // "Offset +125 MHz" while an offset is set (drawn at the chart's foot), else empty.
    QString OffsetText() const;
    void DrawOffsetFoot(); // OffsetText at the chart's bottom left, on the screen and on paper
    void Receiver1Click();
    // Asks for interval, crop and window, each checked as typed; false when cancelled. Tests
    // replace it.
    std::function<bool(ScanParams &)> askReceiverOptions;
    // The tool's parameters for the current settings: receiver frequencies and options.
    QString ToolParameters() const;
    std::vector<float> liveLevels_; // the last sweep's own levels while the trace is an average

    TraceMode traceMode_ = TraceMode::Live;
    int averageCount_ = TTraceAverage::kDefaultCount;
    int persistenceDepth_ = kDefaultPersistence;
    WaterfallLevels waterfallLevels_ = WaterfallLevels::Sweep;
    WaterfallColours waterfallColours_ = WaterfallColours::Ramp;
    // The strongest bin's frequency and level next to its marker ("433.920 MHz -21.4 dB"), and the
    // same for a "Max" peak marker under the mouse; kept inside the plot.
    static QString PeakLabel(double hz, double db);
    // A level as the window shows it: `decimals` places, a real minus sign, "–" for no reading.
    static QString LevelText(double db, int decimals);
    void DrawPeakLabels();
    int hoverPeak = -1; // index of the peak marker under the mouse, or -1
    bool hoverPeakStale_ = false; // a sweep came since hoverPeak was found
    QList<QRect> lastPeakLabelRects_; // where the last frame put the labels

    // ---- main_form_capture.cpp: screenshot (F6), recording (F7), print preview (F8), codec.
    void Image4Click();
    // Where the popup menus just were, when the running command came from one of their items
    // (the screen may still show them there); else none.
    QList<QRect> ClosedMenuAreas() const;
    QList<QRect> menuAreasForNextFrame_;
    void reccClick();
    void Image2Click();
    // A click on an Options > Codec item: the code is taken and saved at once.
    void CodecMenuClick(QAction *item);
    // The recordings: which one takes frames, the files still being completed, names, notices.
    std::unique_ptr<TRecordingController> recorder;
    // The writer the next recording starts with (the codec menu lists its compressors).
    TAviWriter &aviWriter() { return recorder->Writer(); }
    // Every 100 ms while recording: the frames the time since the start asks for.
    void taviTimer();
    QString recordBaseName; // of the current or last recording (its start time is the recorder's)
    // The recording taking frames, or null.
    TRecordingSession *ActiveRecording() const { return recorder ? recorder->ActiveSession() : nullptr; }
    // Recordings whose files are not complete yet (the active one included).
    int RecordingsInProgress() const { return recorder ? recorder->InProgress() : 0; }
    // Stops recording and waits (bounded) for every file still being completed; what the user
    // must know goes to standard error and, unless the program was asked to end, a message box.
    void FinishRecordingOnClose();
    // Panel 0 says "Saving video... N frames left" until every file is complete (empty: done),
    // whatever the scan cycle says meanwhile.
    void ShowSavingStatus(const QString &text);
    QString savingText_;
    // A request to end the program (SIGTERM, SIGHUP, SIGINT): closes the window as Close does.
    void TerminationRequested();
    // Time-stamp name and tick count; null means the system's. Tests replace them.
    std::function<QString()> TimeStampNow;
    std::function<std::uint32_t()> TickNow;

    // ---- main_form_display.cpp: cursor readout, Mode Infinity range follow, trace colour, focus and menu.
    void chMouseMove(int x, int y);
    void UpdateHoverPeak(); // the peak marker under cursorX, cursorY, if any
    // The readout's texts for the cursor position under the axes as they are now.
    void UpdateCursorReadout();
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
    // The chart's share of the splitter's height, as the user last set it; a resized window keeps
    // it, so chart and waterfall both grow.
    double chartShare = 263.0 / 383.0;
    static constexpr int kChartMinHeight = 100;
    int waterfallLeftPx = 0, waterfallRightPx = 0;

    // ---- main_form_settings.cpp
    // Settle timer: a change has settled; the minimum span is applied, held launches go.
    void Timer1Timer();
    // Keeps stop at least 1 MHz above start; runs when editing of a frequency editor ends, never
    // on a half-typed text.
    void EnforceMinimumSpan();
    void RequestAxisReset();
    // Restarts the one-second settle count.
    void RestartSettleTimer();

    // The change handler of the six parameter controls: copies them into the scan texts, saves
    // them and holds launches back for one settle period.
    void ppmChange();

    // Check box handlers: write their key and save.
    void pointClick();
    void axsClick();
    void mxClick();

    // Writes one key and saves; a failed save reports through the error handler (at start-up,
    // once, after start-up).
    void WriteSetting(const QString &key, const QString &value);
    void SaveSettings();
    // A fault found at start-up: shown once start-up is over, which goes on with defaults.
    void ReportStartupError(const QString &message);

    // ---- main_form.cpp
    // Mode Infinity is on (the menu item "Mode Infinity" is checked).
    bool InfinityMode() const;

    QString SweepFilePath() const;
    // The line above a printed chart: title, date and time, range and step.
    QString PrintHeader() const;

signals:
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override; // key preview
    void mousePressEvent(QMouseEvent *e) override;
    void showEvent(QShowEvent *e) override; // FormShow
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    // main_form.cpp
    void FormCreate(const StartOptions &options);
    void FormDestroy();
    void ConnectHandlers();
    void refreshStatusPanel();
    // main_form_layout.cpp
    void BuildControls();
    void CreateFrequencyEditors();
    void SetImg2Bounds(int left, int width);
    // main_form_settings.cpp
    void ReadSettings(); // settings into the parameter texts, flags and controls
    void ApplyChartScale();
    void ApplyChartPoint();
    void ApplyChartMax();
    // The trace and waterfall options as stored (only read: a first start writes none).
    void ReadTraceSettings();
    void ReadMeasurementSettings(); // markers, offset and receiver options
    bool ReceiverDialog(ScanParams &p);
    struct BandCache {
        std::uint64_t key = 0;
        std::size_t offset = 0, bins = 0;
        double a = 0, b = 0;
        std::optional<BandPower> band;
    } bandCache_;
    std::optional<int> AskNumber(const QString &title, const QString &label, int value, int min, int max);
    // A check box's handler: apply it, then write its key as "1" or "0" and save.
    void CheckBoxClick(QCheckBox *box, const QString &key, void (TForm1::*apply)());
    // main_form_commands.cpp
    void HideTaskbarButton();
    void InstallTrayIcon();
    void RemoveTrayIcon();
    // main_form_capture.cpp
    void CreateAviWriter();
    void FillCodecMenu();
    void AttachMenuPainter();
    void StartRecording();
    void StopRecording();
    QString NowName() const;
    std::uint32_t NowTicks() const;
    bool terminating_ = false; // asked to end by a signal: nobody may be there to click a box
    // main_form_scan.cpp
    void StartScanThread();
    void HoldLaunch(const QString &reason); // empty: keep the status text as it is
    void ReleaseLaunch();
    void RequestLaunchUnlessHeld();   // a held launch keeps saying why instead
    void HoldForNonSweepFile();       // scan.csv is a FIFO, folder or link: wait, look again
    void SweepToolEnded(int exitCode, const QString &lastErrorLine);
    // Ends the running tool and drops what it wrote; `why` (if any) is said and retried as a
    // failure, else the next launch goes at once.
    void EndToolRun(const QString &why);
    void HungToolTimeout();
    // A sweep file that is there but cannot be shown: said, deleted, the cycle goes on.
    void ReportUnreadSweep(const QString &why);
    static bool EndsWithLineBreak(const QByteArray &sweep);
    // Reads the sweep file into d: whole into `text` where the sweep log wants the bytes
    // (keepText), else a run of lines at a time through reader and parser (text emptied).
    enum class SweepRead { Unread, Cut, Read };
    static SweepRead ReadSweep(const QString &path, bool keepText, QByteArray &text, LineRunReader &reader,
                               SweepParser &parser, SweepData &d);

    std::unique_ptr<StatusTimer> statusTimer_;
    bool destroyed_ = false;
    int img2RightMargin_ = 716 - 45 - 624;
    SweepSummary lastSweep_;
    TraceLayout waterfallLayout_; // of the rows in the waterfall
    struct PendingSeriesClick {
        TChartSeries *series = nullptr;
        int index = 0, x = 0, y = 0;
    } pendingSeriesClick_; // a left press on a series, a click if released there
    bool launchHeld_ = false;       // a launch is waiting for ReleaseLaunch
    QString holdText_;              // why, as status panel 0 shows it
    bool sweepSinceLaunch_ = false; // the current run's sweep file has been read
    bool userViewChanged_ = false;  // zoom, scroll or keys moved the chart since the last frame
    bool followingAxis_ = false;    // Mode Infinity is setting the editors from the axis
    bool startingUp_ = false;       // settings saves collect their errors instead of raising
    bool saveFailureTold_ = false;  // a parameter change's failed save has been said
    QStringList startupErrors_;
    SweepFindings findings_; // buffers reused from sweep to sweep
    // Filled by the worker before an ingest hand-over, read by the window thread during it.
    SweepFindings preparedFindings_;
    SweepValueFacts preparedFacts_;
    double preparedOffsetHz_ = 0; // the offset the worker read the prepared sweep with
    QByteArray preparedBuffer_;     // the sweep's text, where the sweep log wants it
    bool preparedTextHeld_ = false; // else it was read a run of lines at a time
    LineRunReader preparedReader_;
    SweepParser preparedParser_;
    std::atomic<bool> keepSweepText_{false}; // "Log Sweeps" is on (the worker reads it)
    bool prepared_ = false;
    QString prepareError_; // why the worker could not read the sweep file
    QByteArray fileBuffer_;
};

} // namespace sky
