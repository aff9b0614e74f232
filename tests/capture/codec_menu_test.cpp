// The Options > "Codec" submenu: captions, radio behaviour, the saved and the restored choice.
#include "capture/codec_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>

#include <gtest/gtest.h>

using namespace sky;

namespace {

QApplication &App() {
    static int argc = 1;
    static char name[] = "capture-tests";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

const QStringList kList{"No Compression", "cvid Cinepak", "MJPG Motion JPEG", "H264 H.264 (x264)"};

struct Menu {
    QMenu codec;
    QString codecFourCC;
    QStringList saved; // every "Codec=" value written
    explicit Menu(const QString &initial, const QStringList &list = kList) : codecFourCC(initial) {
        FillCodecMenu(&codec, list, codecFourCC, [this](QAction *item) {
            CodecMenuClick(item, codecFourCC, [this](const QString &c) { saved << "Codec=" + c; });
        });
    }
    QStringList Captions() const {
        QStringList c;
        for (QAction *a : codec.actions())
            c << a->text();
        return c;
    }
    int Checked() const {
        int found = -1;
        for (int i = 0; i < codec.actions().size(); ++i)
            if (codec.actions()[i]->isChecked())
                found = found == -1 ? i : -2;
        return found;
    }
};

} // namespace

TEST(CaptureCodecMenu, ItemsShowCodesAndActAsRadioItems) {
    App();
    Menu m("cvid");
    EXPECT_EQ(m.Captions(), (QStringList{"No C", "cvid", "MJPG", "H264"}));
    for (QAction *a : m.codec.actions())
        EXPECT_TRUE(a->isCheckable() && a->actionGroup() && a->actionGroup()->isExclusive());
    EXPECT_EQ(m.Checked(), 1);

    m.codec.actions()[2]->trigger();
    EXPECT_EQ(m.codecFourCC, "MJPG");
    EXPECT_EQ(m.Checked(), 2);
    m.codec.actions()[0]->trigger(); // "No C": an uncompressed recording
    EXPECT_EQ(m.codecFourCC, "");
    EXPECT_EQ(m.Checked(), 0);
    EXPECT_EQ(m.saved, (QStringList{"Codec=MJPG", "Codec="}));
}

TEST(CaptureCodecMenu, CheckedItemFollowsTheCodecSetting) {
    App();
    EXPECT_EQ(Menu("H264").Checked(), 3);
    EXPECT_EQ(Menu("").Checked(), 0);
    EXPECT_EQ(Menu("h264").Checked(), 3);
    EXPECT_EQ(Menu("XVID").Checked(), 1);                              // none matches: the second item
    EXPECT_EQ(Menu("cvid", QStringList{"No Compression"}).Checked(), -1); // nothing installed: none checked
}

TEST(CaptureCodecMenu, CaptionAndRestoreRules) {
    EXPECT_EQ(CodecFromCaption("&cvid"), "cvid");
    EXPECT_EQ(CodecFromCaption("M&JPG"), "MJPG");
    EXPECT_EQ(CodecFromCaption("No C"), "");
    EXPECT_EQ(CodecFromCaption("&No C"), "");
    EXPECT_EQ(CodecFromCaption("H264 extra"), "H264");

    EXPECT_EQ(RestoreCodecChoice(QString("MJPG"), kList, "cvid"), "MJPG");
    EXPECT_EQ(RestoreCodecChoice(QString("mjpg"), kList, "cvid"), "MJPG");
    EXPECT_EQ(RestoreCodecChoice(QString(""), kList, "cvid"), "");
    EXPECT_EQ(RestoreCodecChoice(QString("XVID"), kList, "cvid"), "cvid"); // not installed here
    // The first item's caption, stored by its click: uncompressed, as the menu shows it.
    EXPECT_EQ(RestoreCodecChoice(QString("No C"), kList, "cvid"), "");
    EXPECT_EQ(RestoreCodecChoice(std::nullopt, kList, "cvid"), "cvid");
}
