// TForm1's widgets: creation and geometry only; the handlers are connected in main_form.cpp.
#include "app/main_form.h"

#include "app/settings_keys.h"
#include "app/spin_double.h"
#include "platform/error.h"
#include "platform/numtext.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
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

} // namespace

// Simple, clear 16 x 16 pictures for the image buttons.
QImage TForm1::ButtonPicture(int kind) {
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
    case kPausePicture: // Stop Visualization: pause bars
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xFF, 0xC0, 0x40));
        p.drawRect(QRectF(4, 3, 3, 10));
        p.drawRect(QRectF(9, 3, 3, 10));
        break;
    case kPlayPicture: // stopped: a click plays again
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x60, 0xE0, 0x60));
        p.drawPolygon(QPolygonF({QPointF(4, 2.5), QPointF(13, 8), QPointF(4, 13.5)}));
        break;
    }
    return img;
}

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

TStatusBar::TStatusBar(const QList<int> &widths, const QStringList &widestTexts, QWidget *parent) : QFrame(parent) {
    setFixedHeight(19);
    setAutoFillBackground(true);
    int x = 0;
    for (qsizetype i = 0; i < widths.size(); ++i) {
        auto *l = new QLabel(this);
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setIndent(2);
        panels_ << l;
        // The frame and the indent take their share; the text gets the rest.
        const int needed = i < widestTexts.size() && !widestTexts[i].isEmpty()
                               ? l->fontMetrics().horizontalAdvance(widestTexts[i]) + 2 * l->frameWidth() + 2 + 4
                               : 0;
        const int w = std::max(widths[i], needed);
        l->setGeometry(x, 2, w - 2, 17);
        widths_ << w;
        x += w;
    }
}

void TStatusBar::FitPanel(int index) {
    if (!fitted_.contains(index))
        fitted_ << index;
    QLabel *l = panels_.at(index);
    const QString text = l->property("fullText").toString();
    const int needed = l->fontMetrics().horizontalAdvance(text) + 2 * l->frameWidth() + 2 + 4;
    const int room = width() - l->x();
    l->resize(std::max(widths_.at(index), std::min(needed, room)) - 2, l->height());
    ShowPanelText(index); // whole where it fits now, else cut with its hint
}

void TStatusBar::resizeEvent(QResizeEvent *e) {
    QFrame::resizeEvent(e);
    for (int index : fitted_)
        FitPanel(index);
}

bool TStatusBar::Fits(int index, const QString &text) const {
    const QLabel *l = panels_.at(index);
    return l->fontMetrics().horizontalAdvance(text) + 2 <= l->contentsRect().width();
}

void TStatusBar::SetPanelText(int index, const QString &text, const QString &hint) {
    QLabel *l = panels_.at(index);
    if (l->property("fullText").toString() == text && l->property("hint").toString() == hint)
        return;
    l->setProperty("fullText", text);
    l->setProperty("hint", hint);
    ShowPanelText(index);
}

void TStatusBar::ShowPanelText(int index) {
    QLabel *l = panels_.at(index);
    const QString text = l->property("fullText").toString(), hint = l->property("hint").toString();
    // A text too long for its panel (a tool's error line) ends in an ellipsis; the whole of it is
    // the panel's hint, unless a hint that says more is given.
    if (Fits(index, text)) {
        l->setText(text);
        l->setToolTip(hint);
    } else {
        l->setText(l->fontMetrics().elidedText(text, Qt::ElideRight, l->contentsRect().width() - 2));
        l->setToolTip(hint.isEmpty() ? text : hint);
    }
}

QString TStatusBar::PanelText(int index) const { return panels_.at(index)->property("fullText").toString(); }

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

    // Panel widths for the longest texts they show: panel 0's own words ("Saving video... 99
    // frames left" is the longest; a tool's error line may be longer and ends in "..." with the
    // whole in its hint), up to 10,000,000 bins, -120.00 dB and a step of 2800000.00 Hz
    // (widened where the font in use is wider than the one they were made for).
    sb = new TStatusBar({80, 175, 210, 110, 50},
                        {QStringLiteral("Saving video... 99 frames left"), QStringLiteral("Step: 2800000.00 Hz"),
                         QStringLiteral("Average Noise Level: -120.00 dB"), QStringLiteral("FFT Point Size: 10000000")},
                        Panel2);
    sb->setObjectName(QStringLiteral("sb"));
    p2->addWidget(sb, 0);

    Splitter1->addWidget(ch);
    Splitter1->addWidget(Panel2);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->handle(1)->setCursor(Qt::SizeVerCursor);
    Splitter1->setSizes({386 - 3 - 120, 120});
    Panel2->setMinimumHeight(35 + 40 + 19);
    ch->setMinimumHeight(kChartMinHeight); // the splitter never squeezes the chart away

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
        // The drop-down list is a window of its own: it gets the same opaque black, or the
        // status text under it shows between its items.
        QAbstractItemView *list = c->view();
        for (QWidget *part : {static_cast<QWidget *>(list), list->viewport(), list->window()}) {
            makeBlack(part);
            part->setAttribute(Qt::WA_TranslucentBackground, false);
        }
        return c;
    };
    auto check = [&](const char *name, int x, int w, const char *text, bool checked) {
        auto *c = new QCheckBox(QString::fromLatin1(text), Panel1);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(x, 11, w, 16);
        c->setFont(small);
        c->setChecked(checked);
        makeBlack(c);
        // The indicator is drawn in the base and text colours: dark grey with a light mark, so an
        // unchecked box is not black on black.
        QPalette pal = c->palette();
        pal.setColor(QPalette::Base, QColor(0x30, 0x30, 0x30));
        pal.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
        pal.setColor(QPalette::WindowText, kGrey);
        c->setPalette(pal);
        // The boxes are narrow: keep the gap between indicator and text small so "Scale" fits.
        c->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; color: #808080; }"));
        return c;
    };

    Label1 = label("Label1", 8, 13, "Dongle:");
    dongle = spin("dongle", 45, "Number dongle USB");
    Label2 = label("Label2", 85, 13, "Freq:");
    Label5 = label("Label5", 265, 13, "PPM:");
    ppm = spin("ppm", 290, "PPM Correction");
    ppm->setRange(-100, 100); // many receivers need a negative correction
    Label3 = label("Label3", 326, 13, "Step:");
    step = combo("step", 348, "Scanning step",
                 {"100", "1k", "5k", "10k", "25k", "50k", "75k", "100k", "1M", "2.5M", "5M"}, "10k");
    Label4 = label("Label4", 398, 13, "Gain:");
    gain = combo("gain", 420, "Gain value",
                 {"0.0",  "0.9",  "1.4",  "2.7",  "3.7",  "8.7",  "12.5", "14.4", "25.0", "28.0", "36.4",
                  "37.2", "43.9", "44.5", "48.0", "49.6", "50.0", "60.0", "70.0", "80.0", "90.0", "100.0"},
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
        img->SetPicture(ButtonPicture(b.kind));
        *b.slot = img;
    }
    // The image buttons keep their distance to the strip's right edge.
    connect(Panel1, &TPanel::resized, this, [this] {
        const int shift = Panel1->width() - 716;
        const std::pair<TImage *, int> xs[] = {
            {Image4, 602}, {Image2, 624}, {Image1, 646}, {Image5, 668}, {Image3, 691}};
        for (auto [img, x] : xs)
            img->move(x + shift, img->y());
    });

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
    LogSweeps1 = item(Options1, "LogSweeps1", "Log Sweeps", "");
    LogSweeps1->setCheckable(true);
    MaxHold1 = item(Options1, "MaxHold1", "Max Hold", "");
    MaxHold1->setCheckable(true);
    auto submenu = [&](QMenu *parent, const char *name, const char *caption) {
        QMenu *m = parent->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    auto radio = [&](QMenu *menu, QActionGroup *group, const char *name, const char *caption) {
        QAction *a = item(menu, name, caption, "");
        a->setCheckable(true);
        a->setActionGroup(group);
        return a;
    };
    auto group = [&](QMenu *menu) {
        auto *g = new QActionGroup(menu);
        g->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
        return g;
    };
    Trace1 = submenu(Options1, "Trace1", "Trace");
    QActionGroup *traceGroup = group(Trace1);
    Live1 = radio(Trace1, traceGroup, "Live1", "Live");
    Average1 = radio(Trace1, traceGroup, "Average1", "Average");
    MinHold1 = radio(Trace1, traceGroup, "MinHold1", "Min Hold");
    Live1->setChecked(true);
    Trace1->addSeparator();
    Persistence1 = item(Trace1, "Persistence1", "Persistence", "");
    Persistence1->setCheckable(true);
    Waterfall1 = submenu(Options1, "Waterfall1", "Waterfall");
    QActionGroup *levelsGroup = group(Waterfall1);
    LevelsSweep1 = radio(Waterfall1, levelsGroup, "LevelsSweep1", "Per sweep");
    LevelsFixed1 = radio(Waterfall1, levelsGroup, "LevelsFixed1", "Fixed range");
    LevelsAuto1 = radio(Waterfall1, levelsGroup, "LevelsAuto1", "Auto range");
    LevelsSweep1->setChecked(true);
    Colours1 = submenu(Waterfall1, "Colours1", "Colours");
    QActionGroup *coloursGroup = group(Colours1);
    for (const auto &[name, caption] : {std::pair{"ColoursRamp1", "Two Colours"}, std::pair{"ColoursTurbo1", "Turbo"},
                                        std::pair{"ColoursViridis1", "Viridis"}, std::pair{"ColoursInferno1", "Inferno"},
                                        std::pair{"ColoursGrey1", "Grey"}})
        colourItems.push_back(radio(Colours1, coloursGroup, name, caption));
    colourItems.front()->setChecked(true);
    Markers1 = submenu(Options1, "Markers1", "Markers");
    ClearMarkers1 = item(Markers1, "ClearMarkers1", "Clear Markers", "");
    SaveTrace1 = item(Options1, "SaveTrace1", "Save Trace...", "");
    SaveImage1 = item(Options1, "SaveImage1", "Save Image...", "");
    FrequencyOffset1 = item(Options1, "FrequencyOffset1", "Frequency Offset...", "");
    Receiver1 = item(Options1, "Receiver1", "Receiver...", "");
    Close1 = item(pm1, "Close1", "Close", "Esc");

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer1->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early: a full second
    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);
    sweepTool_ = new SweepToolRun(this);
    hungToolTimer_ = new QTimer(this);
    hungToolTimer_->setSingleShot(true);
    tavi = new QTimer(this);
    tavi->setObjectName(QStringLiteral("tavi"));
    tavi->setInterval(100);
}

void TForm1::SetImg2Bounds(int left, int width) {
    img2->setGeometry(left, img2->y(), width, img2->height());
    img2RightMargin_ = Panel3->width() - (left + width);
}

void TForm1::CreateFrequencyEditors() {
    auto make = [&](const char *name, int x, double min, double max, const char *hint) {
        auto *e = new TSpinEditDouble(Panel1);
        e->setObjectName(QString::fromLatin1(name));
        e->setMinValue(min);
        e->setMaxValue(max);
        e->setIncrement(0.1);
        // The font first: the editor's least height follows it, and the geometry must find it.
        QFont f(QStringLiteral("Tahoma"));
        f.setPointSize(7);
        e->setFont(f);
        e->setGeometry(x, 11, 70, 19);
        makeBlack(e);
        e->setCursor(Qt::PointingHandCursor);
        e->setCtl3D(false);
        e->setToolTip(QString::fromLatin1(hint));
        e->show();
        return e;
    };
    // A converter's offset moves the ranges: the editors hold the frequencies shown.
    const EditorLimits limits = EditorLimitsFor(frequencyOffsetHz_.load());
    startSpin = make("startSpin", 110, limits.startMin, limits.startMax, "Start scanning, MHz");
    stopSpin = make("stopSpin", 185, limits.stopMin, limits.stopMax, "Stop scanning, MHz");
    // The editors show MHz. A stored text that is not a number is reported and replaced by the
    // first start's value, so the window still sweeps.
    auto hz = [this](QString &text, const char *fallback) {
        try {
            return StrToFloat(text);
        } catch (const Error &e) {
            ReportStartupError(e.text());
            text = QString::fromLatin1(fallback);
            return StrToFloat(text);
        }
    };
    // A stored frequency outside an editor's range is clamped, and the clamped value is what is
    // swept and kept: the editor and the sweep never disagree.
    const std::pair<TSpinEditDouble *, QString *> editors[] = {{startSpin, &params.freqMinHz},
                                                                 {stopSpin, &params.freqMaxHz}};
    for (const auto &[editor, text] : editors) {
        const double mhz = hz(*text, editor == startSpin ? "430000000" : "470000000") / kHzPerMHz;
        editor->setValue(mhz);
        if (editor->Value() != mhz) {
            *text = FloatToText(editor->Value() * kHzPerMHz);
            WriteSetting(editor == startSpin ? key::FreqMinHz : key::FreqMaxHz, *text); // never in a read-only window
        }
    }
    connect(startSpin, &TSpinEditDouble::changed, this, &TForm1::ppmChange);
    connect(stopSpin, &TSpinEditDouble::changed, this, &TForm1::ppmChange);
    connect(startSpin, &TSpinEditDouble::editingFinished, this, &TForm1::EnforceMinimumSpan);
    connect(stopSpin, &TSpinEditDouble::editingFinished, this, &TForm1::EnforceMinimumSpan);
}

} // namespace sky
