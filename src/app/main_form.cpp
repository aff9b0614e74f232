#include "app/main_form.h"

#include "app/application.h"
#include "app/settings_file.h"
#include "app/spin_double.h"
#include "app/status_timer.h"
#include "app/tray.h"
#include "platform/error.h"
#include "platform/numtext.h"
#include "platform/platform.h"
#include "scan/sweep_analysis.h"
#include "scan/sweep_file.h"
#include "scan/sweep_tool.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>

#include <algorithm>
#include <numeric>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QLineEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace sky {

namespace {

const QColor kGrey(0x80, 0x80, 0x80);

QFont pixelFont(const QString &family, int px) {
    QFont f(family);
    f.setPixelSize(px);
    return f;
}

void makeBlack(QWidget *w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Button, Qt::black);
    pal.setColor(QPalette::WindowText, kGrey);
    pal.setColor(QPalette::Text, kGrey);
    pal.setColor(QPalette::ButtonText, kGrey);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

// Simple, clear 16 x 16 pictures for the image buttons.
QImage buttonPicture(int kind) {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fg(0xC0, 0xC0, 0xC0);
    p.setPen(QPen(fg, 1.2));
    switch (kind) {
    case 4: // screenshot: a camera
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
        p.drawRect(QRectF(5.5, 2.5, 5, 2));
        p.drawEllipse(QPointF(8, 9), 2.6, 2.6);
        break;
    case 2: // print: a printer
        p.drawRect(QRectF(4.5, 1.5, 7, 4));
        p.drawRoundedRect(QRectF(1.5, 5.5, 13, 6), 1, 1);
        p.setBrush(Qt::black);
        p.drawRect(QRectF(4.5, 9.5, 7, 5));
        break;
    case 1: // record: a red dot
        p.setPen(QPen(QColor(0xFF, 0x40, 0x40), 1.2));
        p.setBrush(QColor(0xD0, 0x20, 0x20));
        p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
        break;
    case 5: // Mode Infinity: the infinity sign
        p.setPen(QPen(QColor(0x40, 0xC0, 0xFF), 1.6));
        p.drawEllipse(QPointF(5, 8), 3.2, 2.8);
        p.drawEllipse(QPointF(11, 8), 3.2, 2.8);
        break;
    case 3: // Stop Visualization: pause bars
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xFF, 0xC0, 0x40));
        p.drawRect(QRectF(4, 3, 3, 10));
        p.drawRect(QRectF(9, 3, 3, 10));
        break;
    }
    return img;
}

} // namespace

// ---------------------------------------------------------------------------------------------
TPanel::TPanel(QWidget *parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    makeBlack(this);
}

void TPanel::resizeEvent(QResizeEvent *e) {
    QFrame::resizeEvent(e);
    emit resized();
}

void TPanel::mousePressEvent(QMouseEvent *e) {
    QFrame::mousePressEvent(e);
    e->accept(); // handled here, not again by the window
    emit pressed(e->button());
}

void TPanel::mouseReleaseEvent(QMouseEvent *e) {
    QFrame::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
}

TStatusBar::TStatusBar(const QList<int> &widths, QWidget *parent) : QFrame(parent) {
    setFixedHeight(19);
    setAutoFillBackground(true);
    int x = 0;
    for (int w : widths) {
        auto *l = new QLabel(this);
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setGeometry(x, 2, w - 2, 17);
        l->setIndent(2);
        panels_ << l;
        x += w;
    }
}

void TStatusBar::SetPanelText(int index, const QString &text) {
    if (panels_.at(index)->text() != text)
        panels_.at(index)->setText(text);
}

QString TStatusBar::PanelText(int index) const { return panels_.at(index)->text(); }

// ---------------------------------------------------------------------------------------------
TForm1::TForm1(const StartOptions &options, QWidget *parent) : QWidget(parent) {
    BuildControls();
    try {
        FormCreate(options);
        startupCompleted = true;
    } catch (const Error &e) {
        // The remaining start-up steps do not run; the window opens without a scan cycle.
        ShowError(e.text());
    } catch (const std::exception &e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::BuildControls() {
    setWindowTitle(QStringLiteral("Vornik_Skyvane over RTL_POWER"));
    setFont(pixelFont(QStringLiteral("Tahoma"), 11));
    makeBlack(this);
    // The frame is the platform's; the classic window frame adds 8 x 34 to the 716 x 386 client.
    resize(716, 386);
    setMinimumSize(716, 386);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(716 / 2, 386 / 2));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setOpaqueResize(true);
    outer->addWidget(Splitter1);

    ch = new TChart(Splitter1);
    ch->setObjectName(QStringLiteral("ch"));
    ch->setFocusPolicy(Qt::StrongFocus);
    ConfigureSpectrumChart(*ch, spectrum);
    ch->OnAfterDraw = [this](TChart *) { chAfterDraw(); };
    ch->OnMouseMove = [this](Qt::KeyboardModifiers, int x, int y) { chMouseMove(x, y); };
    ch->OnMouseDown = [this](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { chMouseDown(); };
    ch->OnMouseUp = [this](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { chMouseUp(); };
    ch->OnClick = [this] { chClick(); };
    ch->OnClickSeries = [this](TChart *, TChartSeries *series, int index, Qt::MouseButton, Qt::KeyboardModifiers, int,
                               int) { chClickSeries(series, index); };

    Panel2 = new TPanel(Splitter1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto *p2 = new QVBoxLayout(Panel2);
    p2->setContentsMargins(0, 0, 0, 0);
    p2->setSpacing(0);

    Panel3 = new TPanel(Panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setMinimumHeight(35);
    p2->addWidget(Panel3, 1);

    img2 = new TImage(Panel3);
    img2->setObjectName(QStringLiteral("img2"));
    img2->setToolTip(QStringLiteral("Waterfall"));
    img2->setGeometry(45, 0, 624, 61);
    // Anchored on all four sides: keeps its distances to the strip's edges, then the waterfall
    // bitmaps follow its new size.
    connect(Panel3, &TPanel::resized, img2, [this] {
        const QRect g = img2->geometry();
        img2->setGeometry(g.left(), g.top(), std::max(1, Panel3->width() - img2RightMargin_ - g.left()),
                          std::max(1, Panel3->height() - g.top()));
        if (waterfall)
            FormResize();
    });

    Panel1 = new TPanel(Panel2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(40);
    p2->addWidget(Panel1, 0);

    sb = new TStatusBar({80, 175, 210, 110, 50}, Panel2);
    sb->setObjectName(QStringLiteral("sb"));
    p2->addWidget(sb, 0);

    Splitter1->addWidget(ch);
    Splitter1->addWidget(Panel2);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->handle(1)->setCursor(Qt::SizeVerCursor);
    Splitter1->setSizes({386 - 3 - 120, 120});
    Panel2->setMinimumHeight(35 + 40 + 19);

    // Control strip.
    const QFont small = pixelFont(QStringLiteral("Tahoma"), 9);
    auto label = [&](const char *name, int x, int y, const char *text) {
        auto *l = new QLabel(QString::fromLatin1(text), Panel1);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(small);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    auto spin = [&](const char *name, int x, const char *hint) {
        auto *s = new QSpinBox(Panel1);
        s->setObjectName(QString::fromLatin1(name));
        s->setGeometry(x, 11, 30, 19);
        s->setRange(0, 100);
        s->setFont(small);
        s->setFrame(false);
        s->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        s->setToolTip(QString::fromLatin1(hint));
        s->setCursor(Qt::PointingHandCursor);
        s->setContextMenuPolicy(Qt::NoContextMenu);
        // Arrows only: typing is disabled.
        s->findChild<QLineEdit *>()->setReadOnly(true);
        makeBlack(s);
        return s;
    };
    auto combo = [&](const char *name, int x, const char *hint, const QStringList &items, const char *text) {
        auto *c = new QComboBox(Panel1);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(x, 9, 45, 19);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setFrame(false);
        c->setFont(small);
        c->addItems(items);
        c->setEditText(QString::fromLatin1(text));
        c->setToolTip(QString::fromLatin1(hint));
        makeBlack(c);
        return c;
    };
    auto check = [&](const char *name, int x, int w, const char *text, bool checked) {
        auto *c = new QCheckBox(QString::fromLatin1(text), Panel1);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(x, 11, w, 16);
        c->setFont(small);
        c->setChecked(checked);
        makeBlack(c);
        // The boxes are narrow: keep the gap between indicator and text small so "Scale" fits.
        c->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; color: #808080; }"));
        return c;
    };

    Label1 = label("Label1", 8, 13, "Dongle:");
    dongle = spin("dongle", 45, "Number dongle USB");
    Label2 = label("Label2", 85, 13, "Freq:");
    Label5 = label("Label5", 265, 13, "PPM:");
    ppm = spin("ppm", 290, "PPM Correction");
    Label3 = label("Label3", 326, 13, "Step:");
    step = combo("step", 348, "Scanning step",
                 {"100", "1k", "5k", "10k", "25k", "50k", "75k", "100k", "1M", "2.5M", "5M"}, "10k");
    Label4 = label("Label4", 398, 13, "Gain:");
    gain = combo("gain", 420, "Gain value",
                 {"0.0", "0.9", "1.4", "2.7", "3.7", "8.7", "12.5", "14.4", "25.0", "28.0", "36.4", "37.2",
                  "43.9", "44.5", "48.0", "49.6", "50.0", "60.0", "70.0", "80.0", "90.0", "100.0"},
                 "12.5");
    gain->setCursor(Qt::PointingHandCursor);
    point = check("point", 470, 44, "Point", false);
    axs = check("axs", 515, 40, "Scale", true);
    mx = check("mx", 560, 37, "Max", false);

    struct ButtonDef {
        TImage **slot;
        const char *name;
        int x, y, kind;
        const char *hint;
    };
    const ButtonDef buttons[] = {
        {&Image4, "Image4", 602, 12, 4, "Screenshot Spectrum (F6)"},
        {&Image2, "Image2", 624, 11, 2, "Print Spectrum (F8)"},
        {&Image1, "Image1", 646, 11, 1, "Recording Video (F7)"},
        {&Image5, "Image5", 668, 11, 5, "Mode Infininy (F5)"},
        {&Image3, "Image3", 691, 11, 3, "Stop Visualization"},
    };
    for (const ButtonDef &b : buttons) {
        auto *img = new TImage(Panel1);
        img->setObjectName(QString::fromLatin1(b.name));
        img->setGeometry(b.x, b.y, 16, 16);
        img->setToolTip(QString::fromLatin1(b.hint));
        img->setCursor(Qt::PointingHandCursor);
        img->SetPicture(buttonPicture(b.kind));
        *b.slot = img;
    }
    // The image buttons keep their distance to the strip's right edge.
    connect(Panel1, &TPanel::resized, this, [this] {
        const int shift = Panel1->width() - 716;
        const std::pair<TImage *, int> xs[] = {{Image4, 602}, {Image2, 624}, {Image1, 646}, {Image5, 668}, {Image3, 691}};
        for (auto [img, x] : xs)
            img->move(x + shift, img->y());
    });

    cd = [this](WinColor initial, WinColor &chosen) {
        const QColor c = QColorDialog::getColor(QColor(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF), this);
        if (!c.isValid())
            return false;
        chosen = c.red() | c.green() << 8 | c.blue() << 16;
        return true;
    };
    connect(img2, &TImage::doubleClicked, this, &TForm1::img2DblClick);
    // A click on the waterfall or the control strip's background gives the chart the focus.
    connect(img2, &TImage::clicked, this, &TForm1::chClick);
    connect(Panel3, &TPanel::clicked, this, &TForm1::chClick);
    connect(Panel1, &TPanel::clicked, this, &TForm1::chClick);

    // The popup menu. Its keys are only shown: the window's key handler acts on them.
    pm1 = new QMenu(this);
    pm1->setObjectName(QStringLiteral("pm1"));
    auto item = [&](QMenu *menu, const char *name, const char *caption, const char *key) {
        QString text = QString::fromLatin1(caption);
        if (*key)
            text += QLatin1Char('\t') + QString::fromLatin1(key);
        QAction *a = menu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    About1 = item(pm1, "About1", "About", "");
    pm1->addSeparator()->setObjectName(QStringLiteral("N1"));
    Options1 = pm1->addMenu(QStringLiteral("Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    codec = Options1->addMenu(QStringLiteral("Codec"));
    codec->setObjectName(QStringLiteral("codec"));
    Infinity1 = item(Options1, "Infinity1", "Mode Infinity", "F5");
    Infinity1->setCheckable(true);
    Screenshot1 = item(Options1, "Screenshot1", "Screenshot", "F6");
    recc = item(Options1, "recc", "Recording Spectrum", "F7");
    PrintPreview1 = item(Options1, "PrintPreview1", "Print Preview", "F8");
    Close1 = item(pm1, "Close1", "Close", "Esc");
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(Infinity1, &QAction::triggered, this, &TForm1::Infinity1Click); // the check flips first
    connect(Screenshot1, &QAction::triggered, this, &TForm1::Image4Click);
    connect(recc, &QAction::triggered, this, &TForm1::reccClick);
    connect(PrintPreview1, &QAction::triggered, this, &TForm1::Image2Click);
    connect(Close1, &QAction::triggered, this, &TForm1::Close1Click);

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

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    tavi = new QTimer(this);
    tavi->setObjectName(QStringLiteral("tavi"));
    tavi->setInterval(100);

    connect(dongle, &QSpinBox::valueChanged, this, &TForm1::ppmChange);
    connect(ppm, &QSpinBox::valueChanged, this, &TForm1::ppmChange);
    connect(step, &QComboBox::editTextChanged, this, &TForm1::ppmChange);
    connect(gain, &QComboBox::editTextChanged, this, &TForm1::ppmChange);
    connect(point, &QCheckBox::toggled, this, &TForm1::pointClick);
    connect(axs, &QCheckBox::toggled, this, &TForm1::axsClick);
    connect(mx, &QCheckBox::toggled, this, &TForm1::mxClick);
}

void TForm1::FormCreate(const StartOptions &options) {
    const bool live = !options.renderOnly;
    if (live) {
        HideTaskbarButton();                                             // 1
        InstallTrayIcon();                                               // 2
        KillProcessesByName(QString::fromLatin1(kSweepToolProcessName)); // 3
    }

    // 4: waterfall bitmaps, as large as the primary screen.
    QSize screen(1024, 768);
    if (QScreen *s = QGuiApplication::primaryScreen())
        screen = s->size();
    waterfall = std::make_unique<TWaterfall>(screen);
    waterfall->SetImage(img2);
    FormResize();

    // 5: every number <-> text conversion goes through the C-locale routines of numtext.h.
    // 6: Qt paints double-buffered already.

    // 7
    videoFrameBitmap = QImage();
    ScreenshotBitmap = QImage();

    // 8
    pluginsDir = options.pluginsDir.isEmpty()
                     ? PluginsDirFor(QCoreApplication::applicationFilePath())
                     : QDir(options.pluginsDir).absolutePath() + QLatin1Char('/');
    settingsPath = pluginsDir + QStringLiteral("settings.ini");
    settings = std::make_unique<SettingsFile>(settingsPath);
    if (live) {
        QDir::setCurrent(pluginsDir);
        sweepToolPath = FindSweepTool(pluginsDir, options.sweepTool);
        // 9
        settings->CreateDefaultIfMissing();
        settings->Load();
    } else {
        settings->SetReadOnly(true);
        if (!options.pluginsDir.isEmpty() && QFileInfo::exists(settingsPath))
            settings->Load();
        else
            settings->SetLines(SettingsFile::DefaultLines());
    }

    // 10
    params.dongleNumber = settings->Value(QStringLiteral("Dongle number"));
    params.freqMinHz = settings->Value(QStringLiteral("Freq min Hz"));
    params.freqMaxHz = settings->Value(QStringLiteral("Freq max Hz"));
    params.freqStep = settings->Value(QStringLiteral("Freq step"));
    params.gainLevel = settings->Value(QStringLiteral("Gain level"));
    params.ppmCorrection = settings->Value(QStringLiteral("PPM"));

    // 11
    dongle->setValue(ParseIntOr(params.dongleNumber, 0));
    ppm->setValue(ParseIntOr(params.ppmCorrection, 0));

    // 12
    flags.chartColor = ParseIntOr(settings->Value(QStringLiteral("Chart Color")), 255);
    flags.waterfallColorStart =
        ParseIntOr(settings->Value(QStringLiteral("Waterfall Color Start")), flags.waterfallColorStart);
    flags.waterfallColorEnd =
        ParseIntOr(settings->Value(QStringLiteral("Waterfall Color End")), flags.waterfallColorEnd);

    // 13: setting a box to another state runs its handler by itself; then it runs once more.
    auto boxValue = [&](const char *key, int fallback) {
        return (ParseIntOr(settings->Value(QString::fromLatin1(key)), fallback) & 0xFF) != 0;
    };
    point->setChecked(boxValue("Chart Point", 0));
    pointClick();

    // 14
    step->setEditText(params.freqStep);
    gain->setEditText(params.gainLevel);

    // 15
    axs->setChecked(boxValue("Chart Scale", 1));
    axsClick();
    mx->setChecked(boxValue("Chart Max", 0));
    mxClick();

    // 16
    CreateFrequencyEditors();

    // 17, 18
    CreateAviWriter();
    FillCodecMenu();
    AttachMenuPainter();

    if (!live)
        return;

    // 19
    statusTimer_ = std::make_unique<StatusTimer>(flags.statusTickCount, this, [this] { refreshStatusPanel(); });
    statusTimer_->Start(40);

    // 20
    StartScanThread();

    // 21
    flags.launchRequested = true;
    flags.controlsReady = true;
}

void TForm1::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    if (statusTimer_)
        statusTimer_->Stop(); // 1
    if (scanThread)
        scanThread->RequestStop(); // 2: queued hand-overs are dropped from here on
    if (tavi->isActive())
        FinishRecordingOnClose(); // 3
    // 4: nothing is saved at shut-down; every setting was saved when it changed.
    RemoveTrayIcon(); // 5
    // 6, 7: the bitmaps and editors are freed with the window. The worker is joined so that
    // nothing of it outlives the objects it reads.
    scanThread.reset();
}

void TForm1::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    ch->setFocus();
}

void TForm1::closeEvent(QCloseEvent *e) {
    QWidget::closeEvent(e);
    if (e->isAccepted())
        emit closed();
}

void TForm1::refreshStatusPanel() { sb->SetPanelText(0, statusText.get()); }

QString TForm1::SweepFilePath() const { return pluginsDir + QString::fromLatin1(kSweepFileName); }

bool TForm1::InfinityMode() const { return Infinity1->isChecked(); }

void TForm1::WriteSetting(const QString &key, const QString &value) {
    settings->SetValue(key, value);
    settings->Save();
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

void TForm1::ApplyChartMax() { spectrum.Series4.Pointer().SetVisible(mx->isChecked()); }

void TForm1::pointClick() {
    if (!settings)
        return;
    ApplyChartPoint();
    WriteSetting(QStringLiteral("Chart Point"), point->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TForm1::axsClick() {
    if (!settings)
        return;
    ApplyChartScale();
    WriteSetting(QStringLiteral("Chart Scale"), axs->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TForm1::mxClick() {
    if (!settings)
        return;
    ApplyChartMax();
    WriteSetting(QStringLiteral("Chart Max"), mx->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

// ---- scan cycle -------------------------------------------------------------------------------

void TForm1::StartScanThread() {
    scanThread = std::make_unique<th>(flags, statusText, *this, this, SweepFilePath());
    scanThread->start();
}

void TForm1::LaunchSweepTool() {
    if (flags.paramChangePending || flags.visualizationStopped)
        return;
    LaunchDetached(sweepToolPath, SplitCommandLine(BuildSweepParameters(params)), pluginsDir);
}

void TForm1::IngestSweepFile() {
    const QString path = SweepFilePath();
    if (!QFile::exists(path) || flags.visualizationStopped || IsFileBusy(path)) {
        flags.launchRequested = true;
        return;
    }
    // Whatever happens from here on, the next launch is requested.
    struct RequestLaunch {
        ScanFlags &f;
        ~RequestLaunch() { f.launchRequested = true; }
    } requestLaunch{flags};

    const bool loaded = LoadSweepFile(path);
    QFile::remove(path);
    if (loaded)
        AssembleSweep(std::string_view(fileBuffer_.constData(), static_cast<std::size_t>(fileBuffer_.size())));
}

bool TForm1::LoadSweepFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size > kMaxSweepFileBytes)
        return false;
    // One buffer for every sweep: no fresh memory to fault in each second.
    fileBuffer_.resize(size);
    qint64 got = 0;
    while (got < size) {
        const qint64 r = file.read(fileBuffer_.data() + got, size - got);
        if (r <= 0)
            break;
        got += r;
    }
    fileBuffer_.resize(got);
    return true;
}

void TForm1::AssembleSweep(std::string_view text) {
    SpectrumSeries &s = spectrum;
    s.Series2.ClearPoints();
    s.Series3.ClearPoints();
    s.Series4.ClearPoints();
    s.Series5.Pointer().SetVisible(false);
    s.sweepSeries.ClearPoints();
    ch->Left().SetAutomatic(axs->isChecked());
    ch->Right().SetAutomatic(axs->isChecked());

    SweepData &d = sweepData_;
    ParseSweepFile(text, d);
    lastSweep_ = SweepSummary{};
    lastSweep_.values = d.valueCount;
    lastSweep_.step = QString::fromLatin1(d.lastStepText.data(), static_cast<qsizetype>(d.lastStepText.size()));
    // Ascending frequency; equal frequencies stay in file order.
    if (!std::is_sorted(d.x.begin(), d.x.end())) {
        std::vector<std::size_t> order(d.x.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return d.x[a] < d.x[b]; });
        std::vector<double> x(order.size()), y(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            x[i] = d.x[order[i]];
            y[i] = d.y[order[i]];
        }
        d.x.swap(x);
        d.y.swap(y);
    }
    s.sweepSeries.AdoptPoints(d.x, d.y, flags.chartColor); // d keeps the old buffers for next time
    if (!d.ok)
        return;

    const int n = s.sweepSeries.PointCount();
    if (n == 0)
        return;
    const double *x = s.sweepSeries.XValues().Data();
    const double *y = s.sweepSeries.YValues().Data();
    const SweepExtremes e = FindExtremes(y, static_cast<std::size_t>(n));
    s.Series3.AddPoint(x[e.maxIndex], y[e.maxIndex], QString(), clLime);
    if (!waterfall->AddLine(y, static_cast<std::size_t>(n), e.maxIndex, e.minIndex, flags.waterfallColorStart,
                            flags.waterfallColorEnd))
        return;
    const auto noise = NoiseLevel(y, static_cast<std::size_t>(n), e.maxIndex);
    if (!noise)
        return;
    if (n > 2) {
        noiseLevels_.assign(static_cast<std::size_t>(n - 2), *noise);
        s.Series2.AppendPoints(x + 1, noiseLevels_.data(), noiseLevels_.size(), clYellow);
    }
    if (mx->isChecked() && n > 2) {
        // Branch-free: on noise a peak test is a coin toss the processor cannot predict.
        peakX_.resize(static_cast<std::size_t>(n));
        peakY_.resize(static_cast<std::size_t>(n));
        const double threshold = *noise + 0.25;
        std::size_t k = 0;
        for (int i = 1; i + 1 < n; ++i) {
            const double p = y[i - 1], a = y[i], q = y[i + 1];
            const bool peak = ((a > p) & (q <= a)) | ((a == p) & (q < a));
            peakX_[k] = x[i];
            peakY_[k] = a;
            k += static_cast<std::size_t>(peak & (a > threshold));
        }
        s.Series4.AppendPoints(peakX_.data(), peakY_.data(), k, clLime);
    }
    sb->SetPanelText(2, QStringLiteral("Average Noise Level: %1 dB").arg(QString::number(*noise, 'f', 2)));
    sb->SetPanelText(3, QStringLiteral("FFT Point Size: %1").arg(d.valueCount));
    sb->SetPanelText(1, QStringLiteral("Step: %1 Hz").arg(lastSweep_.step));
    s.Series1.CopyFrom(s.sweepSeries);
    s.Series5.CopyFrom(s.sweepSeries);
    lastSweep_.ok = true;
    lastSweep_.noiseDb = *noise;
    lastSweep_.maxHz = x[e.maxIndex];
    lastSweep_.maxDb = y[e.maxIndex];
}

void TForm1::UpdateViewAfterPass() {
    const TLineSeries &trace = spectrum.Series1;
    if (trace.PointCount() > 2) {
        waterfallLeftPx = trace.XPixel(0);
        waterfallRightPx = trace.XPixel(trace.PointCount() - 1);
        if (waterfallLeftPx < waterfallRightPx)
            SetImg2Bounds(waterfallLeftPx, waterfallRightPx - waterfallLeftPx);
    }
    if (flags.axisResetRequested && startSpin && stopSpin) {
        flags.axisResetRequested = false;
        const double lo = startSpin->Value() * 1000000.0, hi = stopSpin->Value() * 1000000.0;
        TChartAxis &bottom = ch->Bottom();
        try {
            // Set the end first that keeps minimum <= maximum on the way.
            if (lo > bottom.Maximum()) {
                bottom.SetMaximum(hi);
                bottom.SetMinimum(lo);
            } else {
                bottom.SetMinimum(lo);
                bottom.SetMaximum(hi);
            }
        } catch (const Error &) {
            // An editor range the axis refuses is left for the next reset.
        }
    }
}

// ---- commands ---------------------------------------------------------------------------------

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress && !destroyed_) {
        // Once per key: at the widget that has the focus (or this window), before it; the key
        // then goes on to that widget.
        QWidget *w = qobject_cast<QWidget *>(watched);
        QWidget *focus = QApplication::focusWidget();
        if (w && w->window() == this && (w == focus || (!focus && w == this))) {
            const auto *k = static_cast<QKeyEvent *>(event);
            FormKeyDown(k->key(), k->modifiers());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::ScrollAxes(bool horizontal, double percent) {
    for (TChartAxis *a : horizontal ? std::array<TChartAxis *, 2>{&ch->Bottom(), &ch->Top()}
                                    : std::array<TChartAxis *, 2>{&ch->Left(), &ch->Right()}) {
        const double span = a->Maximum() - a->Minimum();
        a->SetRange(a->Minimum() + span * percent / 100, a->Maximum() + span * percent / 100);
    }
}

void TForm1::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    Timer1->stop();
    // The settle count restarts from this key, whatever the key does.
    struct Restart {
        QTimer *t;
        ~Restart() { t->start(); }
    } restart{Timer1};
    const bool pad = modifiers & Qt::KeypadModifier;
    if (key == Qt::Key_Left || (pad && key == Qt::Key_4))
        ScrollAxes(true, -1);
    else if (key == Qt::Key_Right || (pad && key == Qt::Key_6))
        ScrollAxes(true, +1);
    else if (key == Qt::Key_Down || (pad && key == Qt::Key_2))
        ScrollAxes(false, -1);
    else if (key == Qt::Key_Up || (pad && key == Qt::Key_8))
        ScrollAxes(false, +1);
    else if (key == Qt::Key_Plus || key == Qt::Key_Equal)
        ch->ZoomByPercent(120);
    else if (key == Qt::Key_Minus)
        ch->ZoomByPercent(80);
    else if (key == Qt::Key_Escape)
        Close1Click();
    else if (key == Qt::Key_F5)
        Image5Click();
    else if (key == Qt::Key_F6)
        Image4Click();
    else if (key == Qt::Key_F7)
        reccClick();
    else if (key == Qt::Key_F8)
        Image2Click();
}

void TForm1::FormMouseDown(Qt::MouseButton button) {
    if (button != Qt::RightButton)
        return;
    raise();
    activateWindow();
    pm1->popup(QCursor::pos());
}

void TForm1::mousePressEvent(QMouseEvent *e) {
    QWidget::mousePressEvent(e);
    FormMouseDown(e->button());
}

void TForm1::Image3Click() { flags.visualizationStopped = !flags.visualizationStopped; }

void TForm1::Image5Click() {
    Infinity1->setChecked(!Infinity1->isChecked());
    Infinity1Click();
}

void TForm1::Infinity1Click() {
    if (tray)
        tray->ShowBalloon(1, Infinity1->isChecked() ? QStringLiteral("Mode Infinity") : QStringLiteral("Mode Normal"));
}

QString TForm1::AboutText() {
    const QString bullet = QString(QChar(0x2022)) + QLatin1Char(' ');
    return bullet + QStringLiteral("Support realtime RTL2832/R820\n") + bullet +
           QStringLiteral("Visualization panoramic FFT\n") + bullet + QStringLiteral("Record video and screnshot\n") +
           QString(53, QLatin1Char('-')) + QStringLiteral("\nSkyvane " SKYVANE_VERSION " - live spectrum from rtl_power");
}

void TForm1::About1Click() {
    if (tray)
        tray->ShowBalloon(1, AboutText());
}

void TForm1::Close1Click() { close(); }

void TForm1::chMouseMove(int x, int y) {
    cursorX = x;
    cursorY = y;
    TChartSeriesList &list = ch->SeriesList();
    for (int i = 0; i < list.Count(); ++i) {
        TChartSeries *s = list.At(i);
        try {
            double vx = 0, vy = 0;
            s->CursorValuesAt(QPoint(x, y), vx, vy);
            if (s->ResolvedHorizAxis())
                cursorXText = s->ResolvedHorizAxis()->FormatLabel(vx);
            if (s->ResolvedVertAxis())
                cursorYText = s->ResolvedVertAxis()->FormatLabel(vy);
        } catch (const std::exception &) {
            // a text that cannot be made keeps its previous value
        }
    }
    ch->Invalidate();
}

void TForm1::chAfterDraw() {
    TCanvas3D &c = ch->Canvas();
    TFontDesc font = c.Font();
    font.SetSize(8);
    font.Color = clSilver;
    c.Font() = font;
    if (cursorX > 1 && cursorY < ch->height() - 30) {
        c.Pen().Color = clSilver;
        const int h = c.TextHeightW();
        c.SetTextAlign(TextAlign::Left | TextAlign::Top);
        c.TextOut(cursorX + 10, cursorY - h - 2, cursorXText + QStringLiteral(" Hz"));
        c.TextOut(cursorX + 10, cursorY, cursorYText + QStringLiteral(" dB"));
    }
    if (InfinityMode() && !flags.paramChangePending)
        FollowAxisRange();
    UpdateViewAfterPass();
}

void TForm1::FollowAxisRange() {
    if (!startSpin || !stopSpin)
        return;
    const TChartAxis &bottom = ch->Bottom();
    // Whole hertz, then megahertz; the editors clamp to their ranges and change their text only
    // when it differs, so an unchanged axis sets nothing.
    startSpin->setValue(std::trunc(bottom.Minimum()) / 1000000.0);
    stopSpin->setValue(std::trunc(bottom.Maximum()) / 1000000.0);
}

void TForm1::chMouseDown() {
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

void TForm1::chMouseUp() { RequestAxisReset(); }

void TForm1::chClick() { ch->setFocus(); }

void TForm1::chClickSeries(TChartSeries *, int) {
    WinColor c;
    if (cd(flags.chartColor, c)) {
        flags.chartColor = c;
        WriteSetting(QStringLiteral("Chart Color"), QString::number(c));
    }
}

void TForm1::img2DblClick() {
    WinColor c;
    if (cd(flags.waterfallColorStart, c)) {
        flags.waterfallColorStart = c;
        WriteSetting(QStringLiteral("Waterfall Color Start"), QString::number(c));
    }
    if (cd(flags.waterfallColorEnd, c)) {
        flags.waterfallColorEnd = c;
        WriteSetting(QStringLiteral("Waterfall Color End"), QString::number(c));
    }
}

void TForm1::SetImg2Bounds(int left, int width) {
    img2->setGeometry(left, img2->y(), width, img2->height());
    img2RightMargin_ = Panel3->width() - (left + width);
}

void TForm1::FormResize() { waterfall->Resize(); }

void TForm1::RestartSettleTimer() { Timer1->start(); }

void TForm1::Timer1Timer() {
    RequestAxisReset();
    flags.paramChangePending = false;
}

void TForm1::RequestAxisReset() {
    if (InfinityMode() && !flags.paramChangePending)
        flags.axisResetRequested = true;
}

// ---- start-up steps of features still to come ------------------------------------------------

void TForm1::HideTaskbarButton() {
    // A tool window has no taskbar button. Only where a tray icon can bring it back: without a
    // tray the taskbar is the only way back to a minimised window.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        setWindowFlag(Qt::Tool, true);
}

// Each of these is filled in by the feature it belongs to; until then it has nothing to do.
void TForm1::InstallTrayIcon() {
    tray = std::make_unique<TTray>(this, pm1, flags.hiddenToTray);
    tray->SetTrayIcon(0, 0, TTray::kTip);
    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
}

void TForm1::RemoveTrayIcon() {
    if (tray)
        tray->SetTrayIcon(0, 2, QString());
}
void TForm1::CreateAviWriter() {}        // the video file writer
void TForm1::FillCodecMenu() {}          // Options > Codec from the installed encoders
void TForm1::AttachMenuPainter() {}      // the popup menu drawn in the program's own style
void TForm1::FinishRecordingOnClose() {} // a running recording is completed before the bitmaps go
void TForm1::Image4Click() {}            // screenshot
void TForm1::reccClick() {}              // recording start and stop
void TForm1::Image2Click() {}            // print preview

void TForm1::CreateFrequencyEditors() {
    auto make = [&](const char *name, int x, double min, double max, const char *hint) {
        auto *e = new TSpinEditDouble(Panel1);
        e->setObjectName(QString::fromLatin1(name));
        e->setMinValue(min);
        e->setMaxValue(max);
        e->setIncrement(0.1);
        e->setGeometry(x, 11, 70, 19);
        QFont f(QStringLiteral("Tahoma"));
        f.setPointSize(7);
        e->setFont(f);
        makeBlack(e);
        e->setCursor(Qt::PointingHandCursor);
        e->setCtl3D(false);
        e->setToolTip(QString::fromLatin1(hint));
        e->show();
        return e;
    };
    startSpin = make("startSpin", 110, 24.0, 1749.0, "Start scanning, MHz");
    stopSpin = make("stopSpin", 185, 25.0, 1750.0, "Stop scanning, MHz");
    // The editors show MHz; a text that is not a number stops start-up here.
    startSpin->setValue(StrToFloat(params.freqMinHz) / 1000000.0);
    stopSpin->setValue(StrToFloat(params.freqMaxHz) / 1000000.0);
    connect(startSpin, &TSpinEditDouble::changed, this, &TForm1::ppmChange);
    connect(stopSpin, &TSpinEditDouble::changed, this, &TForm1::ppmChange);
}

void TForm1::ppmChange() {
    if (!flags.controlsReady)
        return;
    flags.paramChangePending = true;
    Timer1->stop();
    params.dongleNumber = QString::number(dongle->value());
    params.freqMinHz = FloatToText(startSpin->Value() * 1000000.0);
    // Keep at least 1 MHz of span; a changed stop editor runs this handler once more, nested.
    if (stopSpin->Value() <= startSpin->Value() + 1)
        stopSpin->setValue(startSpin->Value() + 1);
    params.freqMaxHz = FloatToText(stopSpin->Value() * 1000000.0);
    params.freqStep = step->currentText();
    params.gainLevel = gain->currentText();
    params.ppmCorrection = QString::number(ppm->value());

    settings->SetValue(QStringLiteral("Dongle number"), params.dongleNumber);
    settings->SetValue(QStringLiteral("Freq min Hz"), params.freqMinHz);
    settings->SetValue(QStringLiteral("Freq max Hz"), params.freqMaxHz);
    settings->SetValue(QStringLiteral("Freq step"), params.freqStep);
    settings->SetValue(QStringLiteral("Gain level"), params.gainLevel);
    settings->SetValue(QStringLiteral("PPM"), params.ppmCorrection);
    settings->Save(); // a failure leaves the settle timer off until the next change
    Timer1->start();
}

} // namespace sky
