#include "capture/window_capture.h"

#include "capture/dib_frame.h"
#include "capture/screen_reader.h"
#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cstring>

namespace sky {

bool ScreenCanBeRead() {
    const QString platform = QGuiApplication::platformName();
    return !(platform == QLatin1String("offscreen") || platform == QLatin1String("minimal") ||
             platform.startsWith(QLatin1String("wayland")));
}

namespace {

QImage ReadScreen(QWidget *window, const QRect &frame) {
    QScreen *screen = window->screen();
    if (!screen)
        return {};
    // At one device pixel a pixel, the window's frame is the same rectangle of the X screen:
    // read through shared memory, a few milliseconds where the plain request takes hundreds.
    if (screen->devicePixelRatio() == 1.0) {
        static TScreenReader reader; // window thread only
        QImage image;
        if (reader.Read(frame, image, window->winId()))
            return image;
    }
    // The whole screen's coordinates, relative to this screen's place on the desktop.
    const QPoint at = frame.topLeft() - screen->geometry().topLeft();
    const QPixmap shot = screen->grabWindow(0, at.x(), at.y(), frame.width(), frame.height());
    QImage image = shot.toImage();
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(1.0);
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage RenderWindow(QWidget *window, const QRect &frame) {
    QImage image(frame.size(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(Qt::black);
    QPainter p(&image);
    // The client area where it lies within the frame; a platform without decorations has none.
    const QPoint client = window->geometry().topLeft() - frame.topLeft();
    window->render(&p, client, QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image;
}

} // namespace

void CaptureWindow(QWidget *window, QImage &bitmap, const QList<QRect> &closedPopups) {
    const QRect frame = window->frameGeometry();
    if (frame.isEmpty()) {
        bitmap = QImage();
        return;
    }
    QImage image;
    if (ScreenCanBeRead() && window->isVisible())
        image = ReadScreen(window, frame);
    // A read of the wrong size (a scaled screen, a window partly off a screen the platform
    // crops to) would not be the window: let it render itself instead.
    if (image.size() != frame.size()) {
        image = RenderWindow(window, frame);
    } else if (!closedPopups.isEmpty()) {
        const QImage own = RenderWindow(window, frame);
        const QRect client = window->geometry().translated(-frame.topLeft());
        QPainter p(&image);
        for (const QRect &popup : closedPopups) {
            const QRect area = popup.translated(-frame.topLeft()).intersected(client);
            if (!area.isEmpty())
                p.drawImage(area.topLeft(), own, area);
        }
    }
    bitmap = image;
}

QString FreeFileName(const QString &folder, const QString &baseName, const QString &extension,
                     const QStringList &taken) {
    for (int n = 1;; ++n) {
        const QString name = baseName + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + extension;
        const QString path = folder + name;
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink() && !taken.contains(path))
            return name;
    }
}

QString ReplaceColons(const QString &text) {
    QString out = text;
    out.replace(QLatin1Char(':'), QLatin1Char('-'));
    return out;
}

namespace {

// The format without its time-zone fields ("t" runs outside quotes) and the blanks before them.
QString WithoutTimeZone(const QString &format) {
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

} // namespace

QString TimeStampName(const QLocale &locale, const QTime &time) {
    const QString format = WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    return ReplaceColons(locale.toString(time, format));
}

void SaveBitmapFile(const QImage &image, const QString &path) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width(), height = rgb.height();
    const int stride = DibStride(width, 24);
    const std::uint32_t imageSize = std::uint32_t(stride) * std::uint32_t(height);
    QByteArray bytes(14, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    const QByteArray info = BitmapInfo(width, height, 24, 0, imageSize);
    PutLe32(bytes.data() + 2, std::uint32_t(14 + info.size()) + imageSize);
    PutLe32(bytes.data() + 10, std::uint32_t(14 + info.size()));
    bytes += info;
    const qsizetype pixelsAt = bytes.size();
    bytes.resize(pixelsAt + qsizetype(imageSize), '\0');
    for (int y = 0; y < height; ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(rgb.constScanLine(height - 1 - y));
        char *dst = bytes.data() + pixelsAt + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = char(qBlue(src[x]));
            dst[3 * x + 1] = char(qGreen(src[x]));
            dst[3 * x + 2] = char(qRed(src[x]));
        }
    }

    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(QStringLiteral("Cannot create file \"") + shown + QStringLiteral("\". ") + file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        throw Error(QStringLiteral("Cannot write file \"") + shown + QStringLiteral("\". ") + reason);
    }
    file.close();
}

QString NoticePath(const QString &folder, const QString &fileName) {
    return QDir(folder).dirName() + QDir::separator() + fileName;
}

} // namespace sky
