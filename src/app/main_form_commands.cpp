// TForm1's commands: hot keys, the popup menu, the toggles, About and Close, and the tray.
#include "app/main_form.h"

#include "app/tray.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace sky {

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonPress && watched == ch && !destroyed_) {
        const auto *m = static_cast<QMouseEvent *>(event);
        if (m->button() == Qt::LeftButton && (m->modifiers() & Qt::ControlModifier)) {
            SetMarkerAt((m->modifiers() & Qt::ShiftModifier) ? 1 : 0, qRound(m->position().x()));
            return true; // no zoom rectangle, no colour dialog
        }
    }
    if (event->type() == QEvent::Wheel && watched == ch && !destroyed_) {
        const auto *w = static_cast<QWheelEvent *>(event);
        if (w->modifiers() & Qt::ControlModifier) {
            ZoomFrequencyAt(qRound(w->position().x()), w->angleDelta().y() / 120.0);
            return true; // not the chart's own wheel, which scrolls the level axes
        }
    }
    if (event->type() == QEvent::KeyPress && !destroyed_) {
        // Once per key: at the widget that has the focus (or this window), before it; the key
        // then goes on to that widget.
        QWidget *w = qobject_cast<QWidget *>(watched);
        QWidget *focus = QApplication::focusWidget();
        if (w && w->window() == this && (w == focus || (!focus && w == this))) {
            const auto *k = static_cast<QKeyEvent *>(event);
            FormKeyDown(k->key(), k->modifiers());
            // The command keys end here: one that opened a modal window (F8's preview, an error
            // box) would otherwise go on up to this window once that one has closed and taken
            // the focus with it, and act a second time.
            static constexpr int kCommandKeys[] = {Qt::Key_Escape, Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8};
            if (std::find(std::begin(kCommandKeys), std::end(kCommandKeys), k->key()) != std::end(kCommandKeys))
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::FocusIsTextField() const {
    QWidget *focus = focusWidget(); // this window's focus, active or not
    if (!focus)
        return false;
    // The line edit itself, or the one inside an editable box (a combo box keeps the focus for
    // its line edit).
    auto *edit = qobject_cast<QLineEdit *>(focus);
    if (!edit)
        edit = focus->findChild<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly);
    return edit && edit->isVisible() && !edit->isReadOnly();
}

void TForm1::ScrollAxes(bool horizontal, double percent) {
    userViewChanged_ = true;
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
    // In an editable text field digits, signs and arrows are typing and editing keys.
    if (FocusIsTextField() && (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
                               key == Qt::Key_Down || key == Qt::Key_Plus || key == Qt::Key_Minus ||
                               key == Qt::Key_Equal || (key >= Qt::Key_0 && key <= Qt::Key_9)))
        return;
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

void TForm1::Image3Click() {
    flags.visualizationStopped = !flags.visualizationStopped;
    // Paused: the button shows what a click does next, and panel 0 says why nothing moves.
    Image3->SetPicture(ButtonPicture(flags.visualizationStopped ? kPlayPicture : kPausePicture));
    if (flags.visualizationStopped) {
        HoldLaunch(kVisualizationStoppedText);
    } else {
        statusText.set(QString());
        ReleaseLaunch();
    }
}

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
           QString(53, QLatin1Char('-')) +
           QStringLiteral("\nSkyvane " SKYVANE_VERSION " - live spectrum from rtl_power");
}

void TForm1::About1Click() {
    if (tray)
        tray->ShowBalloon(1, AboutText());
}

void TForm1::Close1Click() {
    close();
}

void TForm1::HideTaskbarButton() {
    // A tool window has no taskbar button. Only where a tray icon can bring it back: without a
    // tray the taskbar is the only way back to a minimised window.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        setWindowFlag(Qt::Tool, true);
}

void TForm1::InstallTrayIcon() {
    tray = std::make_unique<TTray>(this, pm1, flags.hiddenToTray);
    tray->SetTrayIcon(0, 0, TTray::kTip);
}

void TForm1::RemoveTrayIcon() {
    if (tray)
        tray->SetTrayIcon(0, 2, QString());
}

} // namespace sky
