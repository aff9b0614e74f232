#include "app/tray.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWidget>

namespace sky {

namespace {

// The program's tray pictures: a little spectrum trace in three colours.
QIcon programIcon(int variant) {
    QPixmap pm(32, 32);
    pm.fill(Qt::black);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[] = {QColor(255, 60, 60), QColor(60, 255, 60), QColor(80, 160, 255)};
    p.setPen(QPen(colours[variant % 3], 2.5));
    const QPointF trace[] = {{2, 26}, {8, 24}, {11, 10}, {14, 25}, {19, 23}, {22, 4}, {25, 24}, {30, 26}};
    p.drawPolyline(trace, 8);
    return QIcon(pm);
}

} // namespace

TTray::TTray(QWidget *window, QMenu *menu, bool &hidden) : window_(window), menu_(menu), hidden_(hidden) {
    // The desktop's tray can come and go (a panel restart): put the icon back when it returns.
    watch_ = new QTimer(this);
    watch_->setInterval(3000);
    connect(watch_, &QTimer::timeout, this, &TTray::CheckTrayReturned);
}

TTray::~TTray() = default;

bool TTray::IconVisible() const { return icon_ && added_ && TrayAvailable(); }

void TTray::SetTrayIcon(int iconKind, int action, const QString &tip) {
    switch (iconKind) {
    case 0:
    case 1:
    case 2:
        current_ = programIcon(iconKind);
        break;
    case 3:
        current_ = QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical);
        break;
    case 4:
        current_ = QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion);
        break;
    case 5:
        current_ = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        break;
    case 6:
        current_ = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
        break;
    default:
        break; // the previous icon stays
    }
    tip_ = tip.left(127);
    if (action == 2) {
        if (icon_)
            icon_->hide();
        added_ = false;
        watch_->stop();
        return;
    }
    if (!icon_) {
        icon_ = std::make_unique<QSystemTrayIcon>();
        connect(icon_.get(), &QSystemTrayIcon::activated, this, &TTray::Activated);
    }
    icon_->setIcon(current_);
    icon_->setToolTip(tip_);
    if (action == 0) {
        added_ = true;
        trayWasAvailable_ = TrayAvailable();
        if (trayWasAvailable_)
            icon_->show();
        watch_->start();
    }
}

void TTray::CheckTrayReturned() {
    const bool now = TrayAvailable();
    if (now && !trayWasAvailable_ && added_) {
        SetTrayIcon(0, 2, QString());
        SetTrayIcon(0, 0, kTip);
    }
    trayWasAvailable_ = now;
}

void TTray::ShowBalloon(int kind, const QString &text, const QString &title) {
    switch (kind) {
    case 0: balloonIcon_ = QSystemTrayIcon::NoIcon; break;
    case 1: balloonIcon_ = QSystemTrayIcon::Information; break;
    case 2: balloonIcon_ = QSystemTrayIcon::Critical; break;
    case 3: balloonIcon_ = QSystemTrayIcon::Warning; break;
    default: break; // the previous kind stays
    }
    LastKind = kind >= 0 && kind <= 3 ? kind : LastKind;
    LastText = text.left(255);
    LastTitle = title.left(63);
    ++NoticeCount;
    if (IconVisible() && QSystemTrayIcon::supportsMessages())
        icon_->showMessage(LastTitle, LastText, balloonIcon_, 5000);
    else
        showFallbackNotice(LastText, LastTitle);
}

void TTray::showFallbackNotice(const QString &text, const QString &title) {
    if (!window_)
        return;
    // A small frameless note in the window's bottom right corner that goes away by itself.
    if (!fallback_) {
        fallback_ = new QLabel(window_);
        fallback_->setObjectName(QStringLiteral("notice"));
        fallback_->setStyleSheet(QStringLiteral(
            "QLabel { background: #202020; color: #e0e0e0; border: 1px solid #808080; padding: 6px; }"));
        fallback_->setWordWrap(true);
        fallback_->setMaximumWidth(360);
    }
    fallback_->setText(QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(),
                                                            text.toHtmlEscaped().replace(QLatin1Char('\n'),
                                                                                         QStringLiteral("<br>"))));
    fallback_->adjustSize();
    fallback_->move(window_->width() - fallback_->width() - 8, window_->height() - fallback_->height() - 70);
    fallback_->raise();
    fallback_->show();
    QTimer::singleShot(5000, fallback_, [label = fallback_, text = fallback_->text()] {
        if (label->text() == text)
            label->hide();
    });
}

void TTray::toggleWindow() {
    // Never hide the window where no tray icon could bring it back.
    if (!hidden_ && !IconVisible())
        return;
    hidden_ = !hidden_;
    if (hidden_) {
        window_->hide();
    } else {
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
}

void TTray::Activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        toggleWindow();
        break;
    case QSystemTrayIcon::Context:
        window_->raise();
        window_->activateWindow();
        if (menu_)
            menu_->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

} // namespace sky
