#include "capture/screen_reader.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

#include <QtGui/qtguiglobal.h>

// Qt gives its X connection only where it was built for X.
#if SKYVANE_HAVE_XCB_SHM && QT_CONFIG(xcb)
#define SKYVANE_SHM_READS 1
#include <QtGui/qguiapplication_platform.h>

#include <sys/mman.h>
#include <unistd.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#else
#define SKYVANE_SHM_READS 0
#endif

namespace sky {

#if SKYVANE_SHM_READS

namespace {

xcb_connection_t *Connection() {
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    auto *x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The X screen whose root holds `window` (the first one for none).
xcb_screen_t *RootScreen(xcb_connection_t *c, std::uint32_t window = 0) {
    const xcb_setup_t *setup = xcb_get_setup(c);
    if (!setup)
        return nullptr;
    xcb_window_t root = 0;
    if (window) {
        xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
        if (!g)
            return nullptr;
        root = g->root;
        std::free(g);
    }
    for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it))
        if (!window || it.data->root == root)
            return it.data;
    return nullptr;
}

// Root pixels as QImage's RGB32 takes them: 32 bits a pixel, blue in the lowest byte.
bool RootIsTrueColour32(xcb_connection_t *c, const xcb_screen_t *screen) {
    const xcb_setup_t *setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || (screen->root_depth != 24 && screen->root_depth != 32))
        return false;
    bool formatOk = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth)
            formatOk = f.data->bits_per_pixel == 32;
    if (!formatOk)
        return false;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual)
                return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xff0000 &&
                       v.data->green_mask == 0xff00 && v.data->blue_mask == 0xff;
    return false;
}

} // namespace

// Memory the X server writes into, handed to it as a file descriptor: no shared-memory id that
// a server in another IPC namespace could take for someone else's segment, and nothing left
// behind whatever way the program ends. A remote server cannot take it, and refuses.
struct TScreenReader::Segment {
    xcb_connection_t *connection = nullptr;
    xcb_shm_seg_t seg = 0;
    void *addr = nullptr;
    std::size_t size = 0;

    ~Segment() {
        // The server lets go of the segment when the connection closes; by now the connection
        // may already be gone with the application, so it is not spoken to here.
        if (addr)
            munmap(addr, size);
    }

    static std::unique_ptr<Segment> Create(xcb_connection_t *c, std::size_t size) {
        const int fd = memfd_create("skyvane-screen", MFD_CLOEXEC);
        if (fd < 0)
            return nullptr;
        void *addr = ftruncate(fd, off_t(size)) == 0 ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                                                      : MAP_FAILED;
        if (addr == MAP_FAILED) {
            close(fd);
            return nullptr;
        }
        const xcb_shm_seg_t seg = xcb_generate_id(c);
        // The library sends the descriptor and closes it.
        xcb_generic_error_t *error = xcb_request_check(c, xcb_shm_attach_fd_checked(c, seg, fd, 0));
        if (error) {
            std::free(error);
            munmap(addr, size);
            return nullptr;
        }
        auto s = std::make_unique<Segment>();
        s->connection = c;
        s->seg = seg;
        s->addr = addr;
        s->size = size;
        return s;
    }

    void Detach() {
        xcb_shm_detach(connection, seg);
        xcb_flush(connection);
    }
};

TScreenReader::TScreenReader() = default;

TScreenReader::~TScreenReader() = default;

bool TScreenReader::Supported() {
    static const bool supported = [] {
        xcb_connection_t *c = Connection();
        if (!c || xcb_connection_has_error(c))
            return false;
        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_shm_id);
        if (!ext || !ext->present)
            return false;
        // Descriptor passing came with version 1.2 of the extension.
        xcb_shm_query_version_reply_t *v = xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr);
        const bool fds = v && (v->major_version > 1 || (v->major_version == 1 && v->minor_version >= 2));
        std::free(v);
        if (!fds)
            return false;
        const xcb_screen_t *screen = RootScreen(c);
        return screen && RootIsTrueColour32(c, screen);
    }();
    return supported;
}

bool TScreenReader::Read(const QRect &rect, QImage &out, WId window) {
    if (rect.isEmpty() || !Supported())
        return false;
    xcb_connection_t *c = Connection();
    xcb_screen_t *screen = c ? RootScreen(c, std::uint32_t(window)) : nullptr;
    // The root's size as the connection began; a screen resized since then is refused here at
    // worst, or by the server.
    if (!screen || !RootIsTrueColour32(c, screen) ||
        !QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels).contains(rect))
        return false;
    const std::size_t bytes = std::size_t(rect.width()) * std::size_t(rect.height()) * 4;
    if (!segment_ || segment_->connection != c || segment_->size < bytes) {
        if (segment_ && segment_->connection == c)
            segment_->Detach();
        segment_ = Segment::Create(c, bytes);
        if (!segment_)
            return false;
    }
    xcb_generic_error_t *error = nullptr;
    xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(
        c,
        xcb_shm_get_image(c, screen->root, std::int16_t(rect.x()), std::int16_t(rect.y()), std::uint16_t(rect.width()),
                          std::uint16_t(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->seg, 0),
        &error);
    const bool ok = reply && !error && reply->size >= bytes;
    std::free(reply);
    std::free(error);
    if (!ok)
        return false;
    QImage image(rect.size(), QImage::Format_RGB32);
    if (image.isNull())
        return false;
    // The server leaves the unused top byte as it likes; RGB32 wants it opaque.
    const auto *from = static_cast<const std::uint32_t *>(segment_->addr);
    const int w = rect.width();
    for (int y = 0; y < rect.height(); ++y) {
        auto *to = reinterpret_cast<std::uint32_t *>(image.scanLine(y));
        const std::uint32_t *row = from + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x)
            to[x] = row[x] | 0xff000000u;
    }
    out = std::move(image);
    return true;
}

#else

struct TScreenReader::Segment {};

TScreenReader::TScreenReader() = default;

TScreenReader::~TScreenReader() = default;

bool TScreenReader::Supported() { return false; }

bool TScreenReader::Read(const QRect &, QImage &, WId) { return false; }

#endif

} // namespace sky
