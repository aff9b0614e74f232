#include "capture/ffmpeg_api.h"

#include <QLibrary>
#include <QString>

#include <type_traits>

namespace sky {

namespace {

// The library of the major version the program was built against: libavcodec.so.59, or
// avcodec-59.dll on Windows.
bool load(QLibrary &lib, const char *name, int major) {
#ifdef Q_OS_WIN
    lib.setFileName(QStringLiteral("%1-%2").arg(QLatin1String(name)).arg(major));
#else
    lib.setFileNameAndVersion(QLatin1String(name), major);
#endif
    return lib.load();
}

struct Loaded {
    TFfmpegApi api;
    bool ok = false;
    QLibrary avutil, swscale, avcodec;

    Loaded() {
        if (!load(avutil, "avutil", LIBAVUTIL_VERSION_MAJOR) || !load(swscale, "swscale", LIBSWSCALE_VERSION_MAJOR) ||
            !load(avcodec, "avcodec", LIBAVCODEC_VERSION_MAJOR))
            return;
        ok = true;
        auto find = [&](auto &fn, const char *symbol) {
            for (QLibrary *lib : {&avcodec, &avutil, &swscale})
                if (QFunctionPointer p = lib->resolve(symbol)) {
                    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
                    return;
                }
            ok = false;
        };
#define SKYVANE_FFMPEG_FIND(name) find(api.name, #name);
        SKYVANE_FFMPEG_FUNCTIONS(SKYVANE_FFMPEG_FIND)
#undef SKYVANE_FFMPEG_FIND
    }
};

Loaded &loaded() {
    static Loaded l; // loaded once; the libraries stay for the process's life
    return l;
}

} // namespace

const TFfmpegApi *Ffmpeg() {
    Loaded &l = loaded();
    return l.ok ? &l.api : nullptr;
}

} // namespace sky
