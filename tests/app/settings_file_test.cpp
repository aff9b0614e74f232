#include "app/settings_file.h"
#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace sky;

namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(SettingsFile, DefaultFileHasFifteenLinesAndFinalLineBreak) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    SettingsFile s(path);
    s.CreateDefaultIfMissing();
    const QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.startsWith("Dongle number=0\r\nFreq min Hz=430000000\r\nFreq max Hz=470000000\r\n"
                                 "Freq step=50k\r\nGain level=12.5\r\nPPM=0\r\nChart Point=1\r\nChart Scale=1\r\n"
                                 "Chart Max=1\r\nChart Color=255\r\nWaterfall Color Start=8388608\r\n"
                                 "Waterfall Color End=65280\r\nCodec=cvid\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 15);
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_FALSE(bytes.contains("\n\n"));
    EXPECT_TRUE(bytes.contains("\r\nH-page="));

    // An existing file is left alone.
    writeAll(path, "PPM=3\n");
    s.CreateDefaultIfMissing();
    EXPECT_EQ(readAll(path), "PPM=3\n");
}

TEST(SettingsFile, AnyLineEndReadsCrLfWritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    writeAll(path, "a=1\nb=2\rc=3\r\n\r\nno key here\nd=4");
    SettingsFile s(path);
    s.Load();
    EXPECT_EQ(s.Lines(), QStringList({"a=1", "b=2", "c=3", "", "no key here", "d=4"}));
    s.SetValue("b", "20");
    s.Save();
    EXPECT_EQ(readAll(path), "a=1\r\nb=20\r\nc=3\r\n\r\nno key here\r\nd=4\r\n");
}

TEST(SettingsFile, KeysCaseInsensitiveFirstMatchValueUntrimmed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    writeAll(path, "chart point=1\r\nChart Point=0\r\nPPM = 5\r\nGain level= 12.5 \r\nX=a=b\r\n");
    SettingsFile s(path);
    s.Load();
    EXPECT_EQ(s.Value("Chart Point"), "1");
    EXPECT_EQ(s.Value("PPM"), "");         // the key is "PPM " with the blank
    EXPECT_EQ(s.Value("PPM "), " 5");
    EXPECT_EQ(s.Value("Gain level"), " 12.5 ");
    EXPECT_EQ(s.Value("x"), "a=b");        // the value runs after the first "="
    EXPECT_EQ(s.Value("missing"), "");

    // The next write replaces the first match, spelled as the writer spells the key.
    s.SetValue("Chart Point", "0");
    EXPECT_EQ(s.Lines().at(0), "Chart Point=0");
    EXPECT_EQ(s.Lines().at(1), "Chart Point=0");
    EXPECT_EQ(s.Lines().size(), 5);
}

TEST(SettingsFile, AppendAndDeleteKeepOtherLinesInPlace) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    writeAll(path, "# comment\r\nFreq step=50k\r\nunknown=x\r\n");
    SettingsFile s(path);
    s.Load();
    s.SetValue("Freq step", "");          // empty value deletes the line
    s.SetValue("Chart Max", "0");         // unknown key is appended
    s.SetValue("Never there", "");        // deleting a missing key does nothing
    s.Save();
    EXPECT_EQ(readAll(path), "# comment\r\nunknown=x\r\nChart Max=0\r\n");
    SettingsFile again(path);
    again.Load();
    EXPECT_EQ(again.Value("Freq step"), "");
}

TEST(SettingsFile, FailuresRaiseTheFileMessagesAndKeepTheOldFile) {
    QTemporaryDir dir;
    SettingsFile missing(dir.filePath("gone/settings.ini"));
    try {
        missing.Load();
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.text().startsWith("Cannot open file \"" + dir.filePath("gone/settings.ini") + "\". "));
    }
    try {
        missing.CreateDefaultIfMissing();
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.text().startsWith("Cannot create file \"" + dir.filePath("gone/settings.ini") + "\". "))
            << e.text().toStdString();
        EXPECT_GT(e.text().size(), QString("Cannot create file \"\". ").size() + dir.filePath("gone/settings.ini").size());
    }

    // A save into a folder that has gone fails loudly; the in-memory list keeps the change.
    QTemporaryDir dir2;
    const QString path = dir2.filePath("settings.ini");
    writeAll(path, "PPM=1\r\n");
    SettingsFile s(path);
    s.Load();
    s.SetValue("PPM", "2");
    ASSERT_TRUE(QDir(dir2.path()).removeRecursively());
    EXPECT_THROW(s.Save(), Error);
    EXPECT_EQ(s.Value("PPM"), "2");
}

// Lines the program does not own keep their bytes: a Latin-1 file is written back as Latin-1,
// a UTF-8 one as UTF-8.
TEST(SettingsFile, UnknownLinesKeepTheirBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    for (const QByteArray &note : {QByteArray("Note=caf\xE9 r\xE9seau"), QByteArray("Note=caf\xC3\xA9")}) {
        writeAll(path, "Freq step=50k\r\n" + note + "\r\n");
        SettingsFile s(path);
        s.Load();
        s.SetValue("Freq step", "10k");
        s.Save();
        EXPECT_EQ(readAll(path), "Freq step=10k\r\n" + note + "\r\n");
    }
}

// A save that fails (here: a full disk) keeps the old file whole and says so; the temporary
// files of a save killed half-way are cleared away, nothing else.
TEST(SettingsFile, FailedSaveKeepsTheOldFileAndStrayTemporariesGo) {
    QTemporaryDir dir;
    const QString small = dir.filePath("small");
    ASSERT_TRUE(QDir().mkpath(small));
    const QByteArray mountPoint = small.toLocal8Bit();
    if (geteuid() != 0 || std::system(("mount -t tmpfs -o size=8k tmpfs '" + mountPoint + "' 2>/dev/null").constData()) != 0)
        GTEST_SKIP() << "a small tmpfs needs root; the full-disk case is not run";
    struct Unmount {
        QByteArray at;
        ~Unmount() { (void)std::system(("umount '" + at + "'").constData()); }
    } unmount{mountPoint};
    const QString path = small + "/settings.ini";
    SettingsFile s(path);
    s.CreateDefaultIfMissing();
    s.Load();
    const QByteArray before = readAll(path);
    // Fill the disk, then try to save a settings text larger than what is left.
    {
        QFile filler(small + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    s.SetValue("Note", QString(3000, 'n'));
    EXPECT_THROW(s.Save(), Error);
    EXPECT_EQ(readAll(path), before);

    writeAll(small + "/filler", {});
    writeAll(dir.filePath("settings.ini.a1B2c3"), "half a save");
    writeAll(dir.filePath("settings.ini.bak"), "the user's own copy");
    writeAll(dir.filePath("settings.ini.toolong1"), "not ours either");
    EXPECT_EQ(SettingsFile::RemoveStaleTemporaries(dir.filePath("settings.ini")), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("settings.ini.a1B2c3")));
    EXPECT_TRUE(QFile::exists(dir.filePath("settings.ini.bak")));
    EXPECT_TRUE(QFile::exists(dir.filePath("settings.ini.toolong1")));
}
