#include "capture/screen_reader.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

#if SKYVANE_HAVE_XCB_SHM
#include <QtGui/qguiapplication_platform.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#endif

namespace sky {

#if SKYVANE_HAVE_XCB_SHM

namespace {

xcb_connection_t *Connection() {
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    auto *x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_screen_t *RootScreen(xcb_connection_t *c) {
    const xcb_setup_t *setup = xcb_get_setup(c);
    return setup ? xcb_setup_roots_iterator(setup).data : nullptr;
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

// A shared-memory segment the X server writes into. It is marked for removal as soon as the
// server has attached it, so nothing is left behind whatever way the program ends.
struct TScreenReader::Segment {
    xcb_connection_t *connection = nullptr;
    xcb_shm_seg_t seg = 0;
    void *addr = nullptr;
    std::size_t size = 0;

    ~Segment() {
        // The server lets go of the segment when the connection closes; by now the connection
        // may already be gone with the application, so it is not spoken to here.
        if (addr)
            shmdt(addr);
    }

    static std::unique_ptr<Segment> Create(xcb_connection_t *c, std::size_t size) {
        const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id < 0)
            return nullptr;
        void *addr = shmat(id, nullptr, 0);
        if (addr == reinterpret_cast<void *>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return nullptr;
        }
        const xcb_shm_seg_t seg = xcb_generate_id(c);
        xcb_generic_error_t *error = xcb_request_check(c, xcb_shm_attach_checked(c, seg, std::uint32_t(id), 0));
        shmctl(id, IPC_RMID, nullptr);
        if (error) {
            std::free(error);
            shmdt(addr);
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
        const xcb_screen_t *screen = RootScreen(c);
        return screen && RootIsTrueColour32(c, screen);
    }();
    return supported;
}

bool TScreenReader::Read(const QRect &rect, QImage &out) {
    if (rect.isEmpty() || !Supported())
        return false;
    xcb_connection_t *c = Connection();
    xcb_screen_t *screen = c ? RootScreen(c) : nullptr;
    if (!screen || !QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels).contains(rect))
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

bool TScreenReader::Read(const QRect &, QImage &) { return false; }

#endif

} // namespace sky
