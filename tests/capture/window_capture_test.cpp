// Window capture, time-stamp names and the screenshot bitmap file.
#include "capture/dib_frame.h"
#include "capture/screen_reader.h"
#include "capture/window_capture.h"
#include "platform/error.h"

#include "capture_test_support.h"

#include <QFile>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace sky;

namespace {

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A window whose every pixel is known: a colour ramp with a marker square.
class PatternWindow : public QWidget {
public:
    PatternWindow() { setAttribute(Qt::WA_OpaquePaintEvent); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                p.fillRect(x, y, 1, 1, QColor(x & 255, y & 255, (x + y) & 255));
        p.fillRect(10, 20, 8, 8, Qt::white);
    }
};

} // namespace

TEST(TimeStampNames, FollowTheLocaleLongTimeFormatWithColonsReplaced) {
    const QTime afternoon(14, 5, 7), morning(9, 5, 7);
    // 24-hour locales: with or without a leading zero, as the locale writes the hour.
    EXPECT_EQ(TimeStampName(QLocale(QLocale::German, QLocale::Germany), afternoon), "14-05-07");
    const QString british = TimeStampName(QLocale(QLocale::English, QLocale::UnitedKingdom), morning);
    EXPECT_EQ(british, "09-05-07");
    // 12-hour: the designator stays with its blank; no time zone follows it.
    EXPECT_EQ(TimeStampName(QLocale(QLocale::English, QLocale::UnitedStates), afternoon), "2-05-07 PM");
    EXPECT_EQ(TimeStampName(QLocale(QLocale::English, QLocale::UnitedStates), morning), "9-05-07 AM");
    // Another separator than ":" stays as the locale writes it.
    EXPECT_EQ(TimeStampName(QLocale(QLocale::Finnish, QLocale::Finland), afternoon), "14.05.07");
}

TEST(TimeStampNames, ReplaceColonsTouchesOnlyColons) {
    EXPECT_EQ(ReplaceColons("14:05:07"), "14-05-07");
    EXPECT_EQ(ReplaceColons("a::b. c/d\\e"), "a--b. c/d\\e");
    EXPECT_EQ(ReplaceColons(""), "");
}

TEST(BitmapFile, Writes24BitRowsBottomUpPaddedAndReadsBack) {
    QTemporaryDir dir;
    // An odd width needs row padding: 5 pixels x 3 bytes = 15, padded to 16.
    QImage img(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            img.setPixel(x, y, qRgb(10 * x + 1, 50 * y + 2, 200 - x - y));
    const QString path = dir.filePath("shot.bmp");
    SaveBitmapFile(img, path);

    const QByteArray b = ReadAll(path);
    ASSERT_EQ(b.size(), 14 + 40 + 16 * 3);
    EXPECT_EQ(b.left(2), "BM");
    EXPECT_EQ(GetLe32(b.constData() + 2), std::uint32_t(b.size()));
    EXPECT_EQ(GetLe32(b.constData() + 10), 54u);      // pixels follow the headers, no colour table
    EXPECT_EQ(GetLe32(b.constData() + 14 + 4), 5u);   // width
    EXPECT_EQ(GetLe32(b.constData() + 14 + 8), 3u);   // positive height: bottom-up
    EXPECT_EQ(GetLe16(b.constData() + 14 + 14), 24u); // bits per pixel
    EXPECT_EQ(GetLe32(b.constData() + 14 + 16), 0u);  // uncompressed
    // The first stored row is the image's last: blue, green, red of pixel (0, 2).
    EXPECT_EQ(std::uint8_t(b[54]), 198);
    EXPECT_EQ(std::uint8_t(b[55]), 102);
    EXPECT_EQ(std::uint8_t(b[56]), 1);

    QImage back(path, "BMP");
    ASSERT_EQ(back.size(), img.size());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back.pixel(x, y) & 0xFFFFFF, img.pixel(x, y) & 0xFFFFFF) << x << "," << y;
}

TEST(BitmapFile, OverwritesAnExistingFileAndNamesAFileItCannotCreate) {
    QTemporaryDir dir;
    const QString path = dir.filePath("shot.bmp");
    QImage big(40, 30, QImage::Format_RGB32), small(2, 2, QImage::Format_RGB32);
    big.fill(Qt::red);
    small.fill(Qt::blue);
    SaveBitmapFile(big, path);
    SaveBitmapFile(small, path);
    EXPECT_EQ(ReadAll(path).size(), 54 + 8 * 2); // replaced, not appended to or left longer
    EXPECT_EQ(QImage(path, "BMP").pixel(0, 0), QColor(Qt::blue).rgb());

    // A name taken by a folder cannot be created, for any user; the folder stays.
    const QString blocked = dir.filePath("taken.bmp");
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.bmp"));
    try {
        SaveBitmapFile(small, blocked);
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.text().contains(QDir::toNativeSeparators(blocked))) << e.text().toStdString();
    }
    EXPECT_TRUE(QFileInfo(blocked).isDir());
}

TEST(BitmapFile, NoticePathUsesTheFolderOwnNameAndTheNativeSeparator) {
    EXPECT_EQ(NoticePath("/opt/sky/plugins/", "14-05-07.bmp"),
              QStringLiteral("plugins") + QDir::separator() + "14-05-07.bmp");
    EXPECT_EQ(NoticePath("/tmp/elsewhere", "a.avi"), QStringLiteral("elsewhere") + QDir::separator() + "a.avi");
}

TEST(CaptureWindow, HoldsTheWholeFrameWithTheWindowPixels) {
    EnsureCaptureApp();
    PatternWindow w;
    w.resize(123, 77);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QImage shot(5, 5, QImage::Format_RGB32); // replaced, whatever it held
    CaptureWindow(&w, shot);
    ASSERT_EQ(shot.size(), w.frameGeometry().size());
    // Under a platform without decorations, the frame is the client area: every pixel known.
    const QPoint client = w.geometry().topLeft() - w.frameGeometry().topLeft();
    for (int y = 0; y < w.height(); y += 7)
        for (int x = 0; x < w.width(); x += 5) {
            if (QRect(10, 20, 8, 8).contains(x, y))
                continue;
            ASSERT_EQ(shot.pixel(client.x() + x, client.y() + y) & 0xFFFFFF,
                      qRgb(x & 255, y & 255, (x + y) & 255) & 0xFFFFFF)
                << x << "," << y;
        }
    EXPECT_EQ(shot.pixel(client.x() + 12, client.y() + 22), qRgb(255, 255, 255));

    // The next capture follows the window's new size.
    w.resize(60, 40);
    QCoreApplication::processEvents();
    CaptureWindow(&w, shot);
    EXPECT_EQ(shot.size(), w.frameGeometry().size());
}

// On a real display the capture is the screen: a window lying over ours is in the picture.
TEST(CaptureWindow, ReadsTheScreenWhereThePlatformCan) {
    EnsureCaptureApp();
    if (!ScreenCanBeRead())
        GTEST_SKIP() << "this platform cannot read the screen (run under xvfb-run)";
    PatternWindow w;
    w.setGeometry(40, 40, 100, 100);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QWidget cover;
    cover.setWindowFlags(Qt::FramelessWindowHint);
    cover.setAutoFillBackground(true);
    cover.setPalette(QPalette(Qt::red));
    cover.setGeometry(w.geometry().x() + 50, w.geometry().y() + 50, 100, 100);
    cover.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
    QImage shot;
    for (int i = 0; i < 50 && shot.pixel(shot.width() - 5, shot.height() - 5) != qRgb(255, 0, 0); ++i) {
        QTest::qWait(20);
        CaptureWindow(&w, shot);
        ASSERT_EQ(shot.size(), w.frameGeometry().size());
    }
    EXPECT_EQ(shot.pixel(shot.width() - 5, shot.height() - 5), qRgb(255, 0, 0));
    const QPoint client = w.geometry().topLeft() - w.frameGeometry().topLeft();
    EXPECT_EQ(shot.pixel(client.x() + 12, client.y() + 22), qRgb(255, 255, 255));
}

// The shared-memory read gives what the screen shows, pixel for pixel as the plain image
// request does; a rectangle not wholly on the screen is refused and left to the other route.
TEST(ScreenReader, ReadsWhatThePlainRequestReads) {
    EnsureCaptureApp();
    TScreenReader reader;
    QImage out(3, 3, QImage::Format_RGB32);
    out.fill(Qt::green);
    if (!TScreenReader::Supported()) {
        EXPECT_FALSE(reader.Read(QRect(0, 0, 10, 10), out));
        EXPECT_EQ(out.pixel(1, 1), qRgb(0, 255, 0)); // left alone
        GTEST_SKIP() << "no X server with shared memory here (run under X)";
    }
    PatternWindow w;
    w.setWindowFlags(Qt::FramelessWindowHint);
    w.setGeometry(30, 50, 301, 203);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QScreen *screen = w.screen();
    ASSERT_TRUE(screen);
    // Until the pattern is on the screen (the white square at 12, 22).
    QImage painted;
    for (int i = 0; i < 250 && !(reader.Read(w.geometry(), painted) && painted.pixel(12, 22) == qRgb(255, 255, 255)); ++i)
        QTest::qWait(20);
    ASSERT_TRUE(screen);
    for (const QRect &r : {w.frameGeometry(), QRect(31, 52, 17, 9), QRect(0, 0, 1, 1)}) {
        // twice: the second read reuses the first one's memory
        for (int pass = 0; pass < 2; ++pass) {
            QImage shm;
            ASSERT_TRUE(reader.Read(r, shm)) << pass;
            const QImage plain = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage().convertToFormat(
                QImage::Format_RGB32);
            ASSERT_EQ(shm.size(), r.size());
            EXPECT_EQ(shm, plain) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        }
    }
    // Known pixels of the pattern: the ramp and the white square.
    QImage shot;
    ASSERT_TRUE(reader.Read(w.geometry(), shot));
    EXPECT_EQ(shot.pixel(12, 22), qRgb(255, 255, 255));
    EXPECT_EQ(shot.pixel(100, 3), qRgb(100, 3, 103));
    // Off the screen, partly or wholly: refused, the image left alone.
    const QRect root = screen->virtualGeometry();
    for (const QRect &off : {QRect(root.right() - 5, 0, 20, 20), QRect(-4, 10, 20, 20), QRect(0, 0, 0, 5)}) {
        QImage kept = out;
        EXPECT_FALSE(reader.Read(off, kept));
        EXPECT_EQ(kept, out);
    }
    // A larger read after the smaller ones takes a larger segment.
    QImage big;
    ASSERT_TRUE(reader.Read(QRect(0, 0, root.width(), root.height()), big));
    EXPECT_EQ(big.size(), root.size());
    EXPECT_EQ(big.pixel(w.geometry().x() + 12, w.geometry().y() + 22), qRgb(255, 255, 255));
}
