#pragma once
// A real full disk for tests: a small tmpfs mounted on a temporary folder (only root may mount
// one; `mounted` is false otherwise), unmounted when it goes. Mounted by the system call itself,
// not a child program.
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

struct SmallTmpfs {
    QTemporaryDir dir;
    bool mounted = false;
    explicit SmallTmpfs(int megabytes) {
        if (geteuid() != 0 || !dir.isValid())
            return;
        const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
        mounted = ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallTmpfs() {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;
    QString path() const { return dir.path(); }
};
