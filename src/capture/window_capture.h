#pragma once
// Window capture for screenshots and video frames, time-stamp file names, and the bitmap file
// writer for screenshots.
#include <QImage>
#include <QList>
#include <QLocale>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTime>

class QWidget;

namespace sky {

// Copies what the screen shows inside the window's whole frame rectangle (frame, caption and
// client area) into `bitmap`, replacing its image. Where the platform cannot read the screen
// (offscreen, Wayland) or the read fails, the window renders itself instead, placed where its
// client area lies within the frame. `closedPopups` are screen areas where the window's own
// popup menus were a moment ago: the screen may still show them there, so those areas are taken
// from the window's own rendering. Reports nothing.
void CaptureWindow(QWidget *window, QImage &bitmap, const QList<QRect> &closedPopups = {});

// True where CaptureWindow reads the screen; false where the window renders itself.
bool ScreenCanBeRead();

// The text with every ":" turned into "-"; every other character stays.
QString ReplaceColons(const QString &text);

// The time of day in the locale's long time format without its time-zone part, colons replaced:
// "14-05-07", "2-05-07 PM", "14.05.07".
QString TimeStampName(const QLocale &locale, const QTime &time);

// Saves the image as an uncompressed 24-bit bitmap file (rows bottom-up, each padded to a
// multiple of 4 bytes), replacing any file of that name. A file that cannot be created or
// written raises sky::Error naming the file.
void SaveBitmapFile(const QImage &image, const QString &path);

// "NAME.EXT", or "NAME-2.EXT", "NAME-3.EXT", ...: the first name that nothing in `folder` and
// nothing in `taken` (full paths) has, so that no file is ever replaced.
QString FreeFileName(const QString &folder, const QString &baseName, const QString &extension,
                     const QStringList &taken = {});

// The name a notice shows for a file in `folder`: the folder's own name, the platform's
// separator, the file name ("plugins/14-05-07.bmp").
QString NoticePath(const QString &folder, const QString &fileName);

} // namespace sky
