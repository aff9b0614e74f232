#include "app/main_form.h"

#include "app/application.h"
#include "app/settings_file.h"
#include "app/spin_double.h"
#include "app/status_timer.h"
#include "app/tray.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "scan/sweep_tool.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <cmath>

namespace sky {

TForm1::TForm1(const StartOptions &options, QWidget *parent) : QWidget(parent) {
    preparedParser_.SetCompactPoints(true); // runs and hundredths where they can be: an eighth of the memory
    BuildControls();
    ConnectHandlers();
    // Faults in the settings are collected while starting and shown once; start-up goes on
    // with defaults for what could not be read, so the window always sweeps.
    startingUp_ = true;
    try {
        FormCreate(options);
        startupCompleted = true;
    } catch (const Error &e) {
        // Anything else ends start-up here; the window opens without a scan cycle.
        ReportStartupError(e.text());
    } catch (const std::exception &e) {
        ReportStartupError(QString::fromLocal8Bit(e.what()));
    }
    startingUp_ = false;
    if (startupErrors_.isEmpty())
        return;
    // A picture drawn without a screen has nobody to close a message box: it would wait forever.
    if (options.renderOnly)
        std::fprintf(stderr, "skyvane: %s\n", startupErrors_.join(QStringLiteral("\nskyvane: ")).toLocal8Bit().constData());
    else
        ShowError(startupErrors_.join(QLatin1Char('\n')));
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::ConnectHandlers() {
    ch->OnAfterDraw = [this](TChart *) { chAfterDraw(); };
    ch->OnMouseMove = [this](Qt::KeyboardModifiers, int x, int y) { chMouseMove(x, y); };
    ch->OnMouseDown = [this](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { chMouseDown(); };
    ch->OnMouseUp = [this](Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        // A press on a series that ends where it began, with no drag, is a click on it.
        const PendingSeriesClick click = pendingSeriesClick_;
        pendingSeriesClick_ = {};
        chMouseUp();
        if (click.series && std::abs(x - click.x) <= 2 && std::abs(y - click.y) <= 2)
            chClickSeries(click.series, click.index);
    };
    ch->OnClick = [this] { chClick(); };
    // Paper is white: a page (and its preview) has dark lines and texts and a header line.
    ch->OnPrintLook = [this](bool paper) { SetSpectrumChartColours(*ch, spectrum, paper); };
    ch->OnPrintHeader = [this] { return PrintHeader(); };
    ch->OnClickSeries = [this](TChart *, TChartSeries *series, int index, Qt::MouseButton button,
                               Qt::KeyboardModifiers, int x, int y) {
        if (button == Qt::LeftButton)
            pendingSeriesClick_ = {series, index, x, y};
        ch->MouseConsumed = false; // the press may still start a zoom or scroll drag
    };

    cd = [this](TColor initial, TColor &chosen) {
        const QColor c = QColorDialog::getColor(ColorToQColor(initial), this);
        if (!c.isValid())
            return false;
        chosen = RGBToColor(c.rgb());
        return true;
    };
    connect(img2, &TImage::doubleClicked, this, &TForm1::img2DblClick);
    // A click on the waterfall or the control strip's background gives the chart the focus.
    connect(img2, &TImage::clicked, this, &TForm1::chClick);
    connect(Panel3, &TPanel::clicked, this, &TForm1::chClick);
    connect(Panel1, &TPanel::clicked, this, &TForm1::chClick);

    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(Infinity1, &QAction::triggered, this, &TForm1::Infinity1Click); // the check flips first
    connect(Screenshot1, &QAction::triggered, this, &TForm1::Image4Click);
    connect(recc, &QAction::triggered, this, &TForm1::reccClick);
    connect(PrintPreview1, &QAction::triggered, this, &TForm1::Image2Click);
    connect(Close1, &QAction::triggered, this, &TForm1::Close1Click);
    connect(LogSweeps1, &QAction::triggered, this, &TForm1::LogSweeps1Click);
    connect(LogSweeps1, &QAction::toggled, this, [this](bool on) { keepSweepText_ = on; });
    keepSweepText_ = LogSweeps1->isChecked();
    connect(MaxHold1, &QAction::triggered, this, &TForm1::MaxHold1Click);
    connect(ClearMarkers1, &QAction::triggered, this, &TForm1::ClearMarkers1Click);
    connect(SaveTrace1, &QAction::triggered, this, &TForm1::SaveTrace1Click);
    connect(SaveImage1, &QAction::triggered, this, &TForm1::SaveImage1Click);
    connect(FrequencyOffset1, &QAction::triggered, this, &TForm1::FrequencyOffset1Click);
    connect(Receiver1, &QAction::triggered, this, &TForm1::Receiver1Click);
    connect(Live1, &QAction::triggered, this, &TForm1::Live1Click);
    connect(Average1, &QAction::triggered, this, &TForm1::Average1Click);
    connect(MinHold1, &QAction::triggered, this, &TForm1::MinHold1Click);
    connect(Persistence1, &QAction::triggered, this, &TForm1::Persistence1Click);
    for (auto [item, levels] : {std::pair{LevelsSweep1, WaterfallLevels::Sweep}, std::pair{LevelsFixed1, WaterfallLevels::Fixed},
                                std::pair{LevelsAuto1, WaterfallLevels::Auto}})
        connect(item, &QAction::triggered, this, [this, levels] { WaterfallLevelsClick(levels); });
    for (std::size_t i = 0; i < colourItems.size(); ++i)
        connect(colourItems[i], &QAction::triggered, this,
                [this, i] { WaterfallColoursClick(static_cast<WaterfallColours>(i)); });
    // Under the trace and against both level axes as the trace is, so both fit what is drawn.
    maxHoldSeries.SetVertAxis(aBothVertAxis);
    minHoldSeries.SetVertAxis(aBothVertAxis);

    // Image buttons: a press moves the picture 1 pixel down, the release back up; a click acts.
    const std::pair<TImage *, void (TForm1::*)()> actions[] = {{Image4, &TForm1::Image4Click},
                                                               {Image2, &TForm1::Image2Click},
                                                               {Image1, &TForm1::reccClick},
                                                               {Image5, &TForm1::Image5Click},
                                                               {Image3, &TForm1::Image3Click}};
    for (auto [img, action] : actions) {
        connect(img, &TImage::pressed, img, [img](Qt::MouseButton) { img->move(img->x(), img->y() + 1); });
        connect(img, &TImage::released, img, [img](Qt::MouseButton) { img->move(img->x(), img->y() - 1); });
        connect(img, &TImage::clicked, this, action);
    }
    // Right presses on the waterfall strip and the control strip open the menu.
    connect(img2, &TImage::pressed, this, &TForm1::FormMouseDown);
    connect(Panel3, &TPanel::pressed, this, &TForm1::FormMouseDown);
    connect(Panel1, &TPanel::pressed, this, &TForm1::FormMouseDown);

    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(retryTimer_, &QTimer::timeout, this, &TForm1::ReleaseLaunch);
    connect(hungToolTimer_, &QTimer::timeout, this, &TForm1::HungToolTimeout);
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = Splitter1->sizes();
        if (sizes.size() == 2 && sizes[0] + sizes[1] > 0)
            chartShare = static_cast<double>(sizes[0]) / (sizes[0] + sizes[1]);
    });
    connect(sweepTool_, &SweepToolRun::ended, this, &TForm1::SweepToolEnded);
    // Zooming and scrolling the chart is what Mode Infinity follows.
    ch->OnZoom = [this](TChart *) { userViewChanged_ = true; };
    ch->OnScroll = [this](TChart *) { userViewChanged_ = true; };
    connect(tavi, &QTimer::timeout, this, &TForm1::taviTimer);

    connect(dongle, &QSpinBox::valueChanged, this, &TForm1::ppmChange);
    connect(ppm, &QSpinBox::valueChanged, this, &TForm1::ppmChange);
    connect(step, &QComboBox::editTextChanged, this, &TForm1::ppmChange);
    connect(gain, &QComboBox::editTextChanged, this, &TForm1::ppmChange);
    connect(point, &QCheckBox::toggled, this, &TForm1::pointClick);
    connect(axs, &QCheckBox::toggled, this, &TForm1::axsClick);
    connect(mx, &QCheckBox::toggled, this, &TForm1::mxClick);
}

void TForm1::FormCreate(const StartOptions &options) {
    const bool interactive = !options.renderOnly;
    const bool live = interactive && !options.replay; // sweeps come from the tool
    if (interactive) {
        HideTaskbarButton();
        InstallTrayIcon();
        // Key preview: the window sees every key before the focused control.
        qApp->installEventFilter(this);
    }
    pluginsDir = options.pluginsDir.isEmpty() ? PluginsDirFor(QCoreApplication::applicationFilePath())
                                              : QDir(options.pluginsDir).absolutePath() + QLatin1Char('/');
    // A sweep tool left running by an earlier run of this set-up would hold the receiver. Only
    // tools working in this plugins folder: another window's tool, on another receiver, stays.
    if (live)
        KillSweepToolsIn(QString::fromLatin1(kSweepToolProcessName), pluginsDir);

    // The waterfall bitmaps, as large as the primary screen.
    QSize screen(1024, 768);
    if (QScreen *s = QGuiApplication::primaryScreen())
        screen = s->size();
    waterfall = std::make_unique<TWaterfall>(screen);
    waterfall->SetImage(img2);
    ApplyWaterfallOptions();
    FormResize();

    // Number <-> text conversions all go through the C-locale routines of numtext.h, and Qt
    // paints double-buffered already: nothing to set for either.
    videoFrameBitmap = QImage();
    ScreenshotBitmap = QImage();

    // The working folder and the settings in it.
    settingsPath = pluginsDir + QStringLiteral("settings.ini");
    settings = std::make_unique<SettingsFile>(settingsPath);
    if (live) {
        QDir::setCurrent(pluginsDir);
        sweepToolPath = FindSweepTool(pluginsDir, options.sweepTool);
        SettingsFile::RemoveStaleTemporaries(settingsPath);
        try {
            settings->CreateDefaultIfMissing();
        } catch (const Error &e) {
            ReportStartupError(e.text()); // a read-only or missing folder: defaults, unsaved
        }
        try {
            if (QFileInfo::exists(settingsPath))
                settings->Load();
            else
                settings->SetLines(SettingsFile::DefaultLines());
        } catch (const Error &e) {
            // A file that cannot be read is never overwritten: the defaults stay in memory.
            ReportStartupError(e.text());
            settings->SetLines(SettingsFile::DefaultLines());
            settings->SetReadOnly(true);
        }
    } else {
        settings->SetReadOnly(true);
        if (!options.pluginsDir.isEmpty() && QFileInfo::exists(settingsPath))
            settings->Load();
        else
            settings->SetLines(SettingsFile::DefaultLines());
    }

    ReadSettings();
    CreateFrequencyEditors();

    // The codec menu must be filled before the painter is attached: it paints the submenu too.
    CreateAviWriter();
    if (interactive) // a render records nothing: no codec is asked, and FFmpeg is never loaded
        FillCodecMenu();
    AttachMenuPainter();

    if (!interactive)
        return;
    statusTimer_ = std::make_unique<StatusTimer>(flags.statusTickCount, this, [this] { refreshStatusPanel(); });
    statusTimer_->Start(40);
    if (!live)
        return;
    StartScanThread();
    // The first sweep; from here on the parameter controls act.
    flags.launchRequested = true;
    flags.controlsReady = true;
}

void TForm1::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    if (statusTimer_)
        statusTimer_->Stop();
    if (scanThread)
        scanThread->RequestStop(); // queued hand-overs are dropped from here on
    FinishRecordingOnClose(); // every recording still being saved, not only an active one
    WaitForTraceSave();       // and a trace being written
    sweepTool_->Stop(); // our run of the sweep tool ends with the window
    // Nothing is saved at shut-down: every setting was saved when it changed.
    RemoveTrayIcon();
    // The bitmaps and editors are freed with the window. The worker is joined so that nothing
    // of it outlives the objects it reads.
    scanThread.reset();
}

void TForm1::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    ch->setFocus();
}

void TForm1::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    // The splitter has its new height by now; share it as the user chose.
    const int total = Splitter1->height() - Splitter1->handleWidth();
    if (total <= 0)
        return;
    const int chart = std::clamp(static_cast<int>(std::lround(total * chartShare)), ch->minimumHeight(),
                                 std::max(ch->minimumHeight(), total - Panel2->minimumHeight()));
    Splitter1->setSizes({chart, total - chart});
}

void TForm1::closeEvent(QCloseEvent *e) {
    QWidget::closeEvent(e);
    if (e->isAccepted())
        emit closed();
}

void TForm1::refreshStatusPanel() {
    const QString text = savingText_.isEmpty() ? statusText.get() : savingText_;
    sb->SetPanelText(0, text, !text.isEmpty() && text == toolFailureLine_ ? toolFailureOutput_ : QString());
}

QString TForm1::PrintHeader() const {
    const QString range = startSpin && stopSpin ? QStringLiteral("%1 - %2 MHz").arg(startSpin->text(), stopSpin->text())
                                                : QString();
    return QStringLiteral("%1    %2    %3    Step %4")
        .arg(windowTitle(), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), range,
             step->currentText());
}

QString TForm1::SweepFilePath() const {
    return pluginsDir + QString::fromLatin1(kSweepFileName);
}

bool TForm1::InfinityMode() const {
    return Infinity1->isChecked();
}

} // namespace sky
