#include "print/chart_preview.h"

#include "chart/chart.h"
#include "platform/error.h"
#include "platform/platform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPrintDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

namespace sky {

namespace {

// Hourglass until the scope ends, however it ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QSpinBox *marginBox(const char *name, QWidget *parent) {
    auto *b = new QSpinBox(parent);
    b->setObjectName(QLatin1String(name));
    b->setRange(0, 100);
    b->setWrapping(false);
    b->setValue(0);
    b->setFixedWidth(52);
    return b;
}

} // namespace

std::function<QStringList()> TChartPreview::InstalledPrinters = [] { return QPrinterInfo::availablePrinterNames(); };
std::function<QString()> TChartPreview::DefaultPrinter = [] { return QPrinterInfo::defaultPrinterName(); };

QString TChartPreview::PdfEntryName() { return QStringLiteral("PDF file"); }

TChartPreview::TChartPreview(QWidget *owner, const QString &pluginsDir) : QDialog(owner), pluginsDir_(pluginsDir) {
    setObjectName(QStringLiteral("ChartPreview"));
    setWindowTitle(QStringLiteral("Spectrum Print Preview"));
    BuildControls();
    resize(551, 383);
    // Centred on the screen.
    if (const QScreen *s = screen()) move(s->geometry().center() - rect().center());
    AskPdfFileName = [this](const QString &defaultName) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Print to PDF File"), defaultName,
                                            QStringLiteral("PDF files (*.pdf)"));
    };
}

TChartPreview::~TChartPreview() = default;

void TChartPreview::BuildControls() {
    auto *panel = new QWidget(this);
    panel->setFixedWidth(200);
    auto *col = new QVBoxLayout(panel);
    col->setContentsMargins(8, 6, 4, 8);
    col->setSpacing(4);

    auto *printerLabel = new QLabel(QStringLiteral("P&rinter:"), panel);
    Printers = new QComboBox(panel);
    Printers->setObjectName(QStringLiteral("Printers"));
    printerLabel->setBuddy(Printers);
    col->addWidget(printerLabel);
    col->addWidget(Printers);

    BSetupPrinter = new QPushButton(QStringLiteral("Printer &Setup..."), panel);
    BSetupPrinter->setObjectName(QStringLiteral("BSetupPrinter"));
    col->addWidget(BSetupPrinter);

    Orientation = new QGroupBox(QStringLiteral("Paper Orientation:"), panel);
    Orientation->setObjectName(QStringLiteral("Orientation"));
    Portrait = new QRadioButton(QStringLiteral("P&ortrait"), Orientation);
    Landscape = new QRadioButton(QStringLiteral("&Landscape"), Orientation);
    auto *orientationRow = new QHBoxLayout(Orientation);
    orientationRow->setContentsMargins(6, 2, 6, 4);
    orientationRow->addWidget(Portrait);
    orientationRow->addWidget(Landscape);
    col->addWidget(Orientation);

    // Margins laid out where they lie on the paper.
    GBMargins = new QGroupBox(QStringLiteral("Margins (%)"), panel);
    GBMargins->setObjectName(QStringLiteral("GBMargins"));
    UDTopMa = marginBox("UDTopMa", GBMargins);
    UDLeftMa = marginBox("UDLeftMa", GBMargins);
    UDBotMa = marginBox("UDBotMa", GBMargins);
    UDRightMa = marginBox("UDRightMa", GBMargins);
    auto *grid = new QGridLayout(GBMargins);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setVerticalSpacing(1);
    grid->addWidget(UDTopMa, 0, 1, Qt::AlignHCenter);
    grid->addWidget(UDLeftMa, 1, 0, Qt::AlignLeft);
    grid->addWidget(UDRightMa, 1, 2, Qt::AlignRight);
    grid->addWidget(UDBotMa, 2, 1, Qt::AlignHCenter);
    col->addWidget(GBMargins);

    BReset = new QPushButton(QStringLiteral("Reset &Margins"), panel);
    BReset->setObjectName(QStringLiteral("BReset"));
    BReset->setEnabled(false);
    col->addWidget(BReset);

    ShowMargins = new QCheckBox(QStringLiteral("&View Margins"), panel);
    ShowMargins->setObjectName(QStringLiteral("ShowMargins"));
    ShowMargins->setChecked(true);
    CBProp = new QCheckBox(QStringLiteral("Proportional"), panel);
    CBProp->setObjectName(QStringLiteral("CBProp"));
    CBProp->setChecked(true);
    col->addWidget(ShowMargins);
    col->addWidget(CBProp);

    ChangeDetailGroup = new QGroupBox(QStringLiteral("Detail:"), panel);
    ChangeDetailGroup->setObjectName(QStringLiteral("ChangeDetailGroup"));
    Resolution = new QScrollBar(Qt::Horizontal, ChangeDetailGroup);
    Resolution->setObjectName(QStringLiteral("Resolution"));
    Resolution->setRange(-100, 0);
    Resolution->setPageStep(10);
    auto *detail = new QHBoxLayout(ChangeDetailGroup);
    detail->setContentsMargins(6, 2, 6, 4);
    detail->addWidget(new QLabel(QStringLiteral("More"), ChangeDetailGroup));
    detail->addWidget(Resolution, 1);
    detail->addWidget(new QLabel(QStringLiteral("Normal"), ChangeDetailGroup));
    col->addWidget(ChangeDetailGroup);

    col->addStretch(1);
    auto *buttons = new QHBoxLayout;
    BPrint = new QPushButton(QStringLiteral("&Print"), panel);
    BPrint->setObjectName(QStringLiteral("BPrint"));
    BClose = new QPushButton(QStringLiteral("Close"), panel);
    BClose->setObjectName(QStringLiteral("BClose"));
    BClose->setDefault(true);
    BClose->setAutoDefault(true);
    buttons->addWidget(BPrint);
    buttons->addWidget(BClose);
    col->addLayout(buttons);

    Page = new TChartPreviewPage(this);
    Page->setObjectName(QStringLiteral("ChartPreviewPage"));
    auto *all = new QHBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(0);
    all->addWidget(panel);
    all->addWidget(Page, 1);

    connect(Printers, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!filling_) SelectPrinter(i);
    });
    connect(BSetupPrinter, &QPushButton::clicked, this, [this] { SetupPrinterClick(); });
    connect(BPrint, &QPushButton::clicked, this, [this] { BPrintClick(); });
    connect(BClose, &QPushButton::clicked, this, [this] { done(1); });
    connect(Portrait, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        landscape_ = false;
        ApplyOrientation();
    });
    connect(Landscape, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        landscape_ = true;
        ApplyOrientation();
    });
    for (QSpinBox *b : {UDTopMa, UDLeftMa, UDBotMa, UDRightMa})
        connect(b, &QSpinBox::valueChanged, this, [this, b](int v) { MarginChanged(b, v); });
    connect(BReset, &QPushButton::clicked, this, [this] {
        if (Image()) Image()->PageMarginsPercent = savedMargins_;
        SyncMargins(false);
    });
    connect(ShowMargins, &QCheckBox::toggled, this, [this](bool on) {
        Page->ShowMargins = on;
        Page->Invalidate();
    });
    connect(CBProp, &QCheckBox::clicked, this, [this](bool on) { CBPropClick(on); });
    connect(Resolution, &QScrollBar::valueChanged, this, [this](int v) {
        if (Image()) Image()->PrintDetailLevel = v;
        Page->Invalidate();
        ReadOrientation();
    });
    Page->OnChangeMargins = [this](TChartPreviewPage &, const TRect &) { SyncMargins(true); };
}

void TChartPreview::SetImage(TChart *chart) { Page->Image = chart; }

TChart *TChartPreview::Image() const { return Page->Image; }

int TChartPreview::exec() {
    FormShow();
    return QDialog::exec();
}

void TChartPreview::showEvent(QShowEvent *e) {
    FormShow();
    QDialog::showEvent(e);
}

void TChartPreview::FormShow() {
    if (shown_) return;
    shown_ = true;
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    FillPrinters();
    landscape_ = true;
    ApplyOrientation();
    if (TChart *chart = Image()) {
        const QSignalBlocker b1(CBProp), b2(Resolution);
        CBProp->setChecked(chart->PrintProportional());
        Resolution->setValue(chart->PrintDetailLevel);
        savedMargins_ = chart->PageMarginsPercent;
        if (chart->PrintProportional()) ApplyProportional();
    }
    ReadOrientation();
    SyncMargins(false);
    marginsEnabled_ = true;
}

// ---- printers --------------------------------------------------------------------------------

void TChartPreview::FillPrinters() {
    filling_ = true;
    Printers->clear();
    const QStringList names = InstalledPrinters ? InstalledPrinters() : QStringList();
    Printers->addItems(names);
    Printers->addItem(PdfEntryName());
    if (!printer_) {
        // The system's default printer is the current one at first; without any printer, the
        // PDF file, so that Print works at once.
        const QString def = DefaultPrinter ? DefaultPrinter() : QString();
        const int i = names.indexOf(def);
        filling_ = false;
        SelectPrinter(names.isEmpty() ? Printers->count() - 1 : i >= 0 ? int(i) : 0);
        filling_ = true;
    }
    int current = -1;
    if (printer_ && pdf_) current = Printers->count() - 1;
    else if (printer_) current = int(names.indexOf(printerName_));
    Printers->setCurrentIndex(current);
    filling_ = false;
}

void TChartPreview::SelectPrinter(int index) {
    if (index < 0 || index >= Printers->count()) return;
    const bool pdf = index == Printers->count() - 1;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (pdf) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    } else {
        printer->setPrinterName(Printers->itemText(index));
    }
    printer_ = std::move(printer);
    pdf_ = pdf;
    printerName_ = pdf ? QString() : Printers->itemText(index);
    ApplyOrientation();
}

void TChartPreview::ApplyOrientation() {
    if (printer_)
        printer_->setPageOrientation(landscape_ ? QPageLayout::Landscape : QPageLayout::Portrait);
    // Proportional margins follow the paper they are shown on.
    if (marginsEnabled_ && Image() && Image()->PrintProportional()) {
        ApplyProportional();
        SyncMargins(false);
    }
    Page->Printer = printer_.get();
    Page->Invalidate();
}

void TChartPreview::ReadOrientation() {
    if (printer_) landscape_ = printer_->pageLayout().orientation() == QPageLayout::Landscape;
    const QSignalBlocker b1(Portrait), b2(Landscape);
    (landscape_ ? Landscape : Portrait)->setChecked(true);
}

void TChartPreview::SetupPrinterClick() {
    QPrinter fallback(QPrinter::HighResolution);
    QPrinter *printer = printer_ ? printer_.get() : &fallback;
    QPrintDialog dialog(printer, this);
    dialog.setWindowTitle(QStringLiteral("Printer Setup"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile);
    if (dialog.exec() == QDialog::Accepted && printer == &fallback) {
        auto chosen = std::make_unique<QPrinter>(QPrinter::HighResolution);
        chosen->setPrinterName(fallback.printerName());
        chosen->setPageLayout(fallback.pageLayout());
        printer_ = std::move(chosen);
    }
    if (printer_) {
        pdf_ = printer_->outputFormat() == QPrinter::PdfFormat;
        printerName_ = pdf_ ? QString() : printer_->printerName();
    }
    if (pdf_) printer_->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    FillPrinters();
    ReadOrientation();
    Page->Printer = printer_.get();
    Page->Invalidate();
}

void TChartPreview::BPrintClick() {
    WaitCursor wait;
    TChart *chart = Image();
    if (!chart) return;
    if (!printer_) throw Error(QStringLiteral("There is no printer to print on"));
    if (pdf_) {
        const QString defaultName = QDir(pluginsDir_).filePath(TimeStampName() + QStringLiteral(".pdf"));
        QString name;
        {
            // The file dialog shows the ordinary cursor.
            QApplication::restoreOverrideCursor();
            name = AskPdfFileName ? AskPdfFileName(defaultName) : defaultName;
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
        if (name.isEmpty()) return;
        PrintToPdf(*chart, name);
        return;
    }
    chart->Print(*printer_);
}

// A PDF goes through a job of its own (a failed one leaves nothing behind in the printer), into
// a temporary file beside the target, is checked whole, and only then takes the chosen name.
void TChartPreview::PrintToPdf(TChart &chart, const QString &name) {
    QPrinter job(QPrinter::HighResolution);
    job.setOutputFormat(QPrinter::PdfFormat);
    job.setPageLayout(printer_->pageLayout());
    job.setResolution(printer_->resolution());
    QTemporaryFile part(name + QStringLiteral(".XXXXXX.part"));
    if (!part.open())
        throw Error(QStringLiteral("Cannot print to ") + QDir::toNativeSeparators(name) + QStringLiteral(": ") +
                    part.errorString());
    part.close();
    job.setOutputFileName(part.fileName());
    QString why;
    try {
        chart.Print(job);
    } catch (const Error &e) {
        why = e.text();
    }
    if (why.isEmpty()) {
        // A full disk may still let the job end "well": the file must end as a PDF ends.
        QFile written(part.fileName());
        const qint64 size = written.size();
        QByteArray tail;
        if (written.open(QIODevice::ReadOnly) && size > 16 && written.seek(size - 16))
            tail = written.read(16);
        if (!tail.contains("%%EOF"))
            why = QStringLiteral("the file was not written whole (is the disk full?)");
    }
    if (why.isEmpty() && QFileInfo::exists(name) && !QFile::remove(name))
        why = QStringLiteral("the file in its place cannot be replaced");
    if (why.isEmpty() && !part.rename(name))
        why = part.errorString();
    if (!why.isEmpty())
        throw Error(QStringLiteral("Cannot print to ") + QDir::toNativeSeparators(name) + QStringLiteral(": ") + why);
    part.setAutoRemove(false);
}

// ---- margins ---------------------------------------------------------------------------------

void TChartPreview::ApplyProportional() {
    TChart *chart = Image();
    if (!chart) return;
    const TPaperMetrics paper = PaperMetricsOf(printer_.get());
    chart->PageMarginsPercent = chart->ProportionalMargins(paper.Width, paper.Height, paper.DpiX, paper.DpiY);
    savedMargins_ = chart->PageMarginsPercent;
}

void TChartPreview::MarginChanged(QSpinBox *box, int value) {
    TChart *chart = Image();
    if (!marginsEnabled_ || !chart) return;
    TRect m = chart->PageMarginsPercent;
    int &side = box == UDLeftMa ? m.Left : box == UDRightMa ? m.Right : box == UDTopMa ? m.Top : m.Bottom;
    const int old = side;
    side = value;
    if (!PreviewMarginsFit(m)) {
        const QSignalBlocker block(box);
        box->setValue(old);
        return;
    }
    chart->PageMarginsPercent = m;
    // Typed margins are what prints: proportional margins would replace them.
    chart->SetPrintProportional(false);
    {
        const QSignalBlocker block(CBProp);
        CBProp->setChecked(false);
    }
    Page->Invalidate();
    UpdateResetEnabled();
}

void TChartPreview::SyncMargins(bool fromDrag) {
    TChart *chart = Image();
    if (!chart) return;
    const TRect &m = chart->PageMarginsPercent;
    const std::pair<QSpinBox *, int> boxes[] = {{UDLeftMa, m.Left}, {UDRightMa, m.Right}, {UDTopMa, m.Top}, {UDBotMa, m.Bottom}};
    for (const auto &[box, v] : boxes) {
        const QSignalBlocker block(box);
        box->setValue(v);
    }
    if (fromDrag) {
        // The page has moved its margin lines itself.
        chart->SetPrintProportional(false);
        const QSignalBlocker block(CBProp);
        CBProp->setChecked(false);
    } else {
        Page->Invalidate();
    }
    UpdateResetEnabled();
}

void TChartPreview::UpdateResetEnabled() {
    if (TChart *chart = Image()) BReset->setEnabled(chart->PageMarginsPercent != savedMargins_);
}

void TChartPreview::CBPropClick(bool checked) {
    TChart *chart = Image();
    if (!chart) return;
    chart->SetPrintProportional(checked);
    if (checked) ApplyProportional();
    ReadOrientation();
    SyncMargins(false);
}

// ---- keys ------------------------------------------------------------------------------------

void TChartPreview::keyPressEvent(QKeyEvent *e) {
    // Close is both the default and the cancel button.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        BClose->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TChartPreview::reject() { done(1); }

// ---- the print command -----------------------------------------------------------------------

void ShowChartPreview(TChart &chart, QWidget *parent, const QString &pluginsDir) {
    QCoreApplication::processEvents();
    chart.Gradient().SetVisible(false);
    // Declared first, so it runs last: the chart is repainted after the window is freed.
    struct RepaintAfter {
        TChart &c;
        ~RepaintAfter() { c.repaint(); }
    } repaintAfter{chart};
    auto preview = std::make_unique<TChartPreview>(parent, pluginsDir);
    preview->SetImage(&chart);
    preview->exec();
}

} // namespace sky
