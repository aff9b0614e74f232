#pragma once
// Reads rectangles of the X screen through the X server's shared memory, on the window system's
// own connection. A full-HD window comes back in a few milliseconds, where the plain image
// request that QScreen::grabWindow makes pipes 8 MB through the socket and holds the window
// thread for a couple of hundred. Window thread only.
#include <QImage>
#include <QRect>
#include <QtGui/qwindowdefs.h>

#include <memory>

namespace sky {

class TScreenReader {
public:
    TScreenReader();
    ~TScreenReader();
    TScreenReader(const TScreenReader &) = delete;
    TScreenReader &operator=(const TScreenReader &) = delete;

    // `rect` of the root window that holds `window` (the first screen's for 0), in X screen
    // pixels, into `out` as RGB32. False, with `out` left alone, where it cannot: not on X, no
    // shared-memory extension that takes descriptors (a remote server), a pixel layout other than
    // 32-bit true colour, a rectangle not wholly on the screen, or a refused request.
    bool Read(const QRect &rect, QImage &out, WId window = 0);

    // Whether reads are possible here at all (answered once).
    static bool Supported();

private:
    struct Segment;
    std::unique_ptr<Segment> segment_;
};

} // namespace sky
