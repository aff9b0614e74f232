// Linked into every test program: the simulated sweep tool's device lock lives in a folder of
// this test process alone, so tests never wait on (or fail because of) a running Skyvane, another
// test run, or another test of the same run.
#include <QTemporaryDir>

#include <cstdlib>

namespace {

struct PrivateLockDir {
    QTemporaryDir dir;
    PrivateLockDir() {
        if (dir.isValid())
            setenv("SKYVANE_SIM_LOCK_DIR", dir.path().toLocal8Bit().constData(), 1);
    }
};

const PrivateLockDir privateLockDir;

} // namespace
