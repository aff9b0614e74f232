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

#include <algorithm>

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

QPoint TTray::NoticePlace(const QRect &frame, const QSize &notice, const QRect &screen) {
    constexpr int gap = 6;
    // Under the window's right end, else above it, else right of it, else left of it.
    const int right = frame.left() + frame.width(), bottom = frame.top() + frame.height(); // just outside
    const QPoint candidates[] = {{right - notice.width(), bottom + gap},
                                 {right - notice.width(), frame.top() - gap - notice.height()},
                                 {right + gap, bottom - notice.height()},
                                 {frame.left() - gap - notice.width(), bottom - notice.height()}};
    for (QPoint at : candidates) {
        if (screen.isEmpty())
            return at;
        at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - notice.width())));
        at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - notice.height())));
        if (!QRect(at, notice).intersects(frame))
            return at;
    }
    // The window fills the screen: its bottom right corner, over it.
    return {screen.right() + 1 - notice.width(), screen.bottom() + 1 - notice.height()};
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
    // A small frameless note of its own beside the window, never on it: screenshots and videos
    // of the window do not show it. It goes away by itself.
    if (!fallback_) {
        fallback_ = new QLabel(window_, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
        fallback_->setAttribute(Qt::WA_ShowWithoutActivating);
        fallback_->setObjectName(QStringLiteral("notice"));
        fallback_->setStyleSheet(QStringLiteral(
            "QLabel { background: #202020; color: #e0e0e0; border: 1px solid #808080; padding: 6px; }"));
        fallback_->setTextFormat(Qt::PlainText); // "Save...  plugins/..." keeps both its blanks
        fallback_->setWordWrap(true);
        fallback_->setMaximumWidth(360);
    }
    fallback_->setText(title + QLatin1Char('\n') + text);
    fallback_->adjustSize();
    fallback_->move(NoticePlace(window_->frameGeometry(), fallback_->size(),
                                window_->screen() ? window_->screen()->availableGeometry() : QRect()));
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
