#pragma once
// The notification-area icon and every notice the program shows: the icon hides and shows the
// window and opens the popup menu; notices are balloons on it. Where the desktop has no tray,
// notices appear in a small transient window instead and the window is never hidden.
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QTimer;
class QWidget;

namespace sky {

class TTray : public QObject {
    Q_OBJECT
public:
    // `window` is shown, hidden and raised; `menu` opens on a right click; `hidden` is the
    // shared hiddenToTray flag.
    TTray(QWidget *window, QMenu *menu, bool &hidden);
    ~TTray() override;

    static inline const QString kTip = QStringLiteral("Skyvane");
    static inline const QString kNoticeTitle = QStringLiteral("Skyvane");

    // iconKind: 0 the program's icon, 1 and 2 its other two, 3 stop sign, 4 question mark,
    // 5 exclamation, 6 information, other: the previous icon. action: 0 add, 1 modify, 2 delete.
    void SetTrayIcon(int iconKind, int action, const QString &tip);
    // kind: 0 no icon, 1 information, 2 error, 3 warning, other: the previous kind. The text is
    // cut to 255 characters and the title to 63; shown for 5000 ms.
    void ShowBalloon(int kind, const QString &text, const QString &title = kNoticeTitle);

    // What a click on the icon does (also what the icon's signal calls).
    void Activated(QSystemTrayIcon::ActivationReason reason);

    // Puts the icon back when the desktop's tray has come back (run every few seconds).
    void CheckTrayReturned();
    // Whether the desktop has a tray; replaceable for tests.
    std::function<bool()> TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    // Where a notice of that size goes beside the window's frame on that screen, clear of the
    // frame where the screen has room.
    static QPoint NoticePlace(const QRect &frame, const QSize &notice, const QRect &screen);
    QLabel *FallbackNotice() const { return fallback_; }

    // The last notice, as shown (for tests and for the fallback window).
    QString LastText, LastTitle;
    int LastKind = 1;
    int NoticeCount = 0;
    bool IconVisible() const;

private:
    void toggleWindow();
    void showFallbackNotice(const QString &text, const QString &title);

    QWidget *window_;
    QMenu *menu_;
    bool &hidden_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QIcon current_;
    QString tip_;
    bool added_ = false;
    bool trayWasAvailable_ = false;
    QSystemTrayIcon::MessageIcon balloonIcon_ = QSystemTrayIcon::Information;
    QTimer *watch_ = nullptr;
    QLabel *fallback_ = nullptr;
};

} // namespace sky
