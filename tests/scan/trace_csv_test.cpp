// Saving a trace as CSV: read back field by field, and failures that leave no file, no temporary
// file and an existing file as it was.
#include "../small_tmpfs.h"
#include "scan/trace_csv.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <csignal>
#include <limits>
#include <random>
#include <vector>

using namespace sky;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Everything in a folder, hidden files too: where a temporary file left behind would show.
QStringList folderContents(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A field read as a C program reads it, whatever the locale; "nan", "inf" and "-inf" included.
double parse(const QByteArray &field) {
    double v = 0;
    const auto r = std::from_chars(field.constData(), field.constData() + field.size(), v);
    EXPECT_TRUE(r.ec == std::errc() && r.ptr == field.constData() + field.size()) << field.constData();
    return v;
}

struct Trace {
    std::vector<double> hz, level, held;
    std::vector<TraceColumn> columns() const {
        return {{QStringLiteral("level_db"), level.data()}, {QStringLiteral("max_hold_db"), held.data()}};
    }
};

Trace randomTrace(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(-70, 25);
    Trace t;
    for (std::size_t i = 0; i < n; ++i) {
        // Whole and fractional bin frequencies, as rtl_power's bins fall.
        t.hz.push_back(430e6 + 41666.666666666664 * static_cast<double>(i));
        t.level.push_back(noise(rng));
        t.held.push_back(t.level.back() + std::abs(noise(rng)) / 10);
    }
    return t;
}

// Lowers this process's largest file size, as a nearly full disk would, for its lifetime.
struct FileSizeLimit {
    struct rlimit old {};
    void (*oldHandler)(int) = nullptr;
    bool set = false;
    explicit FileSizeLimit(rlim_t bytes) {
        if (getrlimit(RLIMIT_FSIZE, &old) != 0)
            return;
        oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
        struct rlimit small = old;
        small.rlim_cur = bytes;
        set = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
};

} // namespace

TEST(TraceCsv, ReadsBackFieldByField) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Trace t = randomTrace(2500, 1);
    t.hz[0] = 24000000;       // whole: no point
    t.hz[1] = 24000000.5;     // fractional: as many digits as it takes
    t.hz[2] = 1766000000.125; // beyond a float's precision
    t.level[3] = kNaN;        // no reading
    t.level[4] = -kInf;       // no power
    t.held[4] = kInf;
    t.level[5] = -0.001; // rounds to zero: no "-0.00"
    const QString path = dir.filePath("trace.csv");
    QString error;
    ASSERT_TRUE(WriteTraceCsv(path, t.hz.data(), t.hz.size(), t.columns(), error)) << error.toStdString();
    EXPECT_EQ(folderContents(dir.path()), QStringList{"trace.csv"});

    const QByteArray bytes = readFile(path);
    EXPECT_FALSE(bytes.contains('\r'));
    ASSERT_TRUE(bytes.endsWith('\n'));
    const QList<QByteArray> lines = bytes.chopped(1).split('\n');
    ASSERT_EQ(lines.size(), qsizetype(t.hz.size()) + 1);
    EXPECT_EQ(lines[0], "frequency_hz,level_db,max_hold_db");
    for (std::size_t i = 0; i < t.hz.size(); ++i) {
        const QList<QByteArray> f = lines[qsizetype(i) + 1].split(',');
        ASSERT_EQ(f.size(), 3) << i;
        EXPECT_EQ(parse(f[0]), t.hz[i]) << i; // exactly the frequency that was written
        EXPECT_EQ(f[0].contains('.'), t.hz[i] != std::floor(t.hz[i])) << f[0].constData();
        for (int c = 1; c <= 2; ++c) {
            const double want = (c == 1 ? t.level : t.held)[i];
            const double got = parse(f[c]);
            if (std::isfinite(want)) {
                EXPECT_NEAR(got, want, 0.005 + 1e-9) << i;
                ASSERT_EQ(f[c].size() - f[c].indexOf('.'), 3) << f[c].constData(); // two decimals
            } else if (std::isnan(want)) {
                EXPECT_EQ(f[c], "nan");
            } else {
                EXPECT_EQ(f[c], want > 0 ? "inf" : "-inf");
            }
        }
    }
    EXPECT_EQ(lines[1],
              "24000000," + QByteArray::number(t.level[0], 'f', 2) + ',' + QByteArray::number(t.held[0], 'f', 2));
    EXPECT_TRUE(lines[2].startsWith("24000000.5,"));
    EXPECT_TRUE(lines[3].startsWith("1766000000.125,"));
    EXPECT_TRUE(lines[4].contains(",nan,"));
    EXPECT_TRUE(lines[5].endsWith(",-inf,inf"));
    EXPECT_TRUE(lines[6].contains(",0.00,"));
}

TEST(TraceCsv, TheUsersLocaleNeverChangesTheFile) {
    // A decimal comma would run into the field separator.
    QTemporaryDir dir;
    const Trace t = randomTrace(50, 2);
    QString error;
    const QString plain = dir.filePath("plain.csv"), german = dir.filePath("german.csv");
    ASSERT_TRUE(WriteTraceCsv(plain, t.hz.data(), t.hz.size(), t.columns(), error));
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::string cBefore = std::setlocale(LC_ALL, nullptr);
    const bool cGerman = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const bool ok = WriteTraceCsv(german, t.hz.data(), t.hz.size(), t.columns(), error);
    std::setlocale(LC_ALL, cBefore.c_str());
    QLocale::setDefault(before);
    ASSERT_TRUE(ok) << error.toStdString();
    EXPECT_EQ(readFile(german), readFile(plain));
    EXPECT_EQ(readFile(plain).count(','), 51 * 2);
    if (!cGerman)
        std::printf("(no de_DE.UTF-8 C locale here: only Qt's default locale was German)\n");
}

TEST(TraceCsv, ColumnsAsGiven) {
    QTemporaryDir dir;
    const std::vector<double> hz = {1e6, 2e6}, a = {-1, -2}, b = {-3, -4}, c = {-5, -6};
    QString error;
    // Extra columns after the level, in their order; a name holding a separator is quoted.
    const QString path = dir.filePath("cols.csv");
    ASSERT_TRUE(WriteTraceCsv(path, hz.data(), hz.size(),
                              {{"level_db", a.data()}, {"min, hold", b.data()}, {"avg \"10\"", c.data()}}, error));
    EXPECT_EQ(readFile(path), "frequency_hz,level_db,\"min, hold\",\"avg \"\"10\"\"\"\n"
                              "1000000,-1.00,-3.00,-5.00\n"
                              "2000000,-2.00,-4.00,-6.00\n");
    // No bins: the header alone.
    ASSERT_TRUE(WriteTraceCsv(path, nullptr, 0, {{"level_db", nullptr}}, error));
    EXPECT_EQ(readFile(path), "frequency_hz,level_db\n");
    // Nothing to write is refused, and leaves the file that is there.
    EXPECT_FALSE(WriteTraceCsv(path, hz.data(), hz.size(), {}, error));
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path))) << error.toStdString();
    EXPECT_FALSE(WriteTraceCsv(path, hz.data(), hz.size(), {{"level_db", nullptr}}, error));
    EXPECT_FALSE(WriteTraceCsv(path, nullptr, hz.size(), {{"level_db", a.data()}}, error));
    EXPECT_EQ(readFile(path), "frequency_hz,level_db\n");
    EXPECT_FALSE(WriteTraceCsv(QString(), hz.data(), hz.size(), {{"level_db", a.data()}}, error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(TraceCsv, ReplacesAnExistingFileWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.csv");
    writeFile(path, QByteArray(3'000'000, 'o')); // longer than the new file: nothing of it may stay
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    const Trace t = randomTrace(1000, 3);
    QString error;
    ASSERT_TRUE(WriteTraceCsv(path, t.hz.data(), t.hz.size(), t.columns(), error)) << error.toStdString();
    // Byte for byte what the same trace makes as a new file: nothing of the old one stays.
    const QString fresh = dir.filePath("fresh.csv");
    ASSERT_TRUE(WriteTraceCsv(fresh, t.hz.data(), t.hz.size(), t.columns(), error)) << error.toStdString();
    EXPECT_EQ(readFile(path), readFile(fresh));
    EXPECT_EQ(readFile(path).count('\n'), 1001);
    ASSERT_TRUE(QFile::remove(fresh));
    // A new file renamed over the old one, never the old one written over in place: whoever still
    // has the old one open reads it whole.
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(folderContents(dir.path()), QStringList{"old.csv"});
}

TEST(TraceCsv, AFolderThatIsNotThereOrNotAFolder) {
    QTemporaryDir dir;
    const Trace t = randomTrace(10, 4);
    QString error;
    const QString missing = dir.filePath("gone/trace.csv");
    EXPECT_FALSE(WriteTraceCsv(missing, t.hz.data(), t.hz.size(), t.columns(), error));
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(missing))) << error.toStdString();
    EXPECT_TRUE(error.contains("does not exist")) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("gone")));
    // The path of a folder: refused, the folder untouched.
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_FALSE(WriteTraceCsv(dir.filePath("sub"), t.hz.data(), t.hz.size(), t.columns(), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
    EXPECT_EQ(folderContents(dir.path()), QStringList{"sub"});
    EXPECT_TRUE(folderContents(dir.filePath("sub")).isEmpty());
}

TEST(TraceCsv, NoPermission) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes regardless of permissions";
    QTemporaryDir dir;
    const Trace t = randomTrace(10, 5);
    QString error;
    // A folder without write permission: no file, no temporary file.
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_FALSE(WriteTraceCsv(locked + "/trace.csv", t.hz.data(), t.hz.size(), t.columns(), error));
    EXPECT_TRUE(error.contains("trace.csv")) << error.toStdString();
    EXPECT_TRUE(folderContents(locked).isEmpty());
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A write-protected file in a writable folder: kept as it is.
    const QString old = dir.filePath("old.csv");
    writeFile(old, "keep me\n");
    ASSERT_TRUE(QFile::setPermissions(old, QFile::ReadOwner));
    EXPECT_FALSE(WriteTraceCsv(old, t.hz.data(), t.hz.size(), t.columns(), error));
    EXPECT_TRUE(error.contains("old.csv")) << error.toStdString();
    EXPECT_EQ(readFile(old), "keep me\n");
    EXPECT_EQ(folderContents(dir.path()), (QStringList{"locked", "old.csv"}));
}

TEST(TraceCsv, AWriteThatFailsHalfwayKeepsTheOldFile) {
    // The file size limit stops the writes part of the way through, as a full disk would, and works
    // for root too.
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.csv");
    writeFile(path, "the old trace\n");
    const Trace t = randomTrace(200'000, 6); // several pieces of output
    QString error;
    bool ok = true;
    {
        const FileSizeLimit limit(1'500'000);
        ASSERT_TRUE(limit.set);
        ok = WriteTraceCsv(path, t.hz.data(), t.hz.size(), t.columns(), error);
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path))) << error.toStdString();
    EXPECT_EQ(readFile(path), "the old trace\n");
    EXPECT_EQ(folderContents(dir.path()), QStringList{"trace.csv"});
    // And with no old file: none afterwards.
    const QString fresh = dir.filePath("fresh.csv");
    {
        const FileSizeLimit limit(1'500'000);
        ok = WriteTraceCsv(fresh, t.hz.data(), t.hz.size(), t.columns(), error);
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(QFileInfo::exists(fresh));
    EXPECT_EQ(folderContents(dir.path()), QStringList{"trace.csv"});
}

TEST(TraceCsv, ARealFullDisk) {
    const SmallTmpfs mount(1);
    if (!mount.mounted)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (it needs root)";
    const QString path = mount.path() + "/trace.csv";
    writeFile(path, "the old trace\n");
    const Trace t = randomTrace(100'000, 7); // about 4 MB of text
    QString error;
    EXPECT_FALSE(WriteTraceCsv(path, t.hz.data(), t.hz.size(), t.columns(), error));
    EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path))) << error.toStdString();
    EXPECT_EQ(readFile(path), "the old trace\n");
    EXPECT_EQ(folderContents(mount.path()), QStringList{"trace.csv"});
    // What fits is still written.
    const Trace small = randomTrace(100, 8);
    EXPECT_TRUE(WriteTraceCsv(path, small.hz.data(), small.hz.size(), small.columns(), error)) << error.toStdString();
    EXPECT_EQ(readFile(path).count('\n'), 101);
}

TEST(TraceCsv, DefaultName) {
    EXPECT_EQ(DefaultTraceCsvName(QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30))), "trace-2026-12-08_10-15-30.csv");
    EXPECT_EQ(DefaultTraceCsvName(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5, 999))), "trace-2027-01-02_03-04-05.csv");
    EXPECT_EQ(DefaultTraceCsvName(QDateTime()), "trace.csv");
}
