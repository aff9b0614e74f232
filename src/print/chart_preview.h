#pragma once
// The chart's print preview: a modal window showing the current printer's page with the chart
// between margins in percent, with printer choice and set-up, orientation, margins (typed,
// stepped or dragged on the page), detail level, proportional margins and printing.
#include "print/chart_preview_page.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPrinter;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSpinBox;
class TChart;

namespace sky {

class TChartPreview : public QDialog {
public:
    TChartPreview(QWidget *owner, const QString &pluginsDir);
    ~TChartPreview() override;

    // The chart shown and printed (the page's Image).
    void SetImage(TChart *chart);
    TChart *Image() const;

    // Runs the showing sequence, then the modal loop.
    int exec() override;
    // The showing sequence: printers, landscape, the chart's settings into the controls, the
    // saved margins, proportional margins, synchronised controls, margin changes enabled last.
    // Runs once; exec() and the first show call it.
    void FormShow();

    // The printer whose page is shown and printed; null when none is installed or chosen.
    QPrinter *Printer() const { return printer_.get(); }
    bool PrinterIsPdf() const { return pdf_; }
    const TRect &SavedMargins() const { return savedMargins_; }
    // The entry of Printers that prints to a PDF file (always the last one).
    static QString PdfEntryName();

    // Prints the chart on the current printer (the handler of BPrint). Raises on failure.
    void BPrintClick();
    void PrintToPdf(TChart &chart, const QString &name);
    // Asks for the PDF file to print to; returns an empty name when the user cancels. The
    // default asks with a file dialog.
    std::function<QString(const QString &defaultName)> AskPdfFileName;
    // The installed printers and the default one; the system's by default (tests replace it).
    static std::function<QStringList()> InstalledPrinters;
    static std::function<QString()> DefaultPrinter;

    TChartPreviewPage *Page;
    QComboBox *Printers;
    QPushButton *BSetupPrinter, *BPrint, *BClose, *BReset;
    QGroupBox *Orientation;
    QRadioButton *Portrait, *Landscape;
    QGroupBox *GBMargins;
    QSpinBox *UDTopMa, *UDLeftMa, *UDBotMa, *UDRightMa;
    QCheckBox *ShowMargins, *CBProp;
    QGroupBox *ChangeDetailGroup;
    QScrollBar *Resolution;

protected:
    void showEvent(QShowEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void reject() override;

private:
    void BuildControls();
    void FillPrinters();
    void SelectPrinter(int index);
    void ApplyOrientation();
    void ReadOrientation();
    void ApplyProportional();
    void MarginChanged(QSpinBox *box, int value);
    void SyncMargins(bool fromDrag);
    void UpdateResetEnabled();
    void SetupPrinterClick();
    void CBPropClick(bool checked);

    QString pluginsDir_;
    std::unique_ptr<QPrinter> printer_;
    bool pdf_ = false;
    QString printerName_; // of the installed printer chosen (not the PDF entry)
    bool landscape_ = true;
    TRect savedMargins_;
    bool shown_ = false;
    bool marginsEnabled_ = false; // margin changes are handled once the window is shown
    bool filling_ = false;        // Printers is being refilled
};

// The print command (F8): lets pending events run so the chart is fully painted, switches the
// chart's background gradient off for good, shows the preview of the chart modally, then frees
// it and repaints the chart, also when showing it raised an error (which is passed on).
void ShowChartPreview(TChart &chart, QWidget *parent, const QString &pluginsDir);

} // namespace sky
