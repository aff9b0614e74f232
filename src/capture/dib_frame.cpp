#include "capture/dib_frame.h"

#include <array>
#include <cstring>

namespace sky {

int BitsPerPixel(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return 0;
    }
}

namespace {

QList<QRgb> MakePalette(int bits) {
    QList<QRgb> p;
    if (bits == 1) {
        p = {0x000000, 0xFFFFFF};
    } else if (bits == 4) {
        p = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
             0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    } else if (bits == 8) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    p.append(QRgb((r * 51) << 16 | (g * 51) << 8 | (b * 51)));
        for (int i = 0; i < 40; ++i) {
            const int v = (i * 255 + 19) / 39;
            p.append(QRgb(v << 16 | v << 8 | v));
        }
    }
    return p;
}

int Distance(QRgb a, QRgb b) {
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

int Nearest(const QList<QRgb> &palette, QRgb c) {
    int best = 0, bestD = INT_MAX;
    for (int i = 0; i < palette.size(); ++i) {
        const int d = Distance(palette[i], c);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

// Palette index of a colour; 8-bit and 4-bit lookups go through a table of 5-bit-per-channel
// colours (32768 entries) so a frame costs one lookup per pixel.
class IndexTable {
public:
    explicit IndexTable(int bits) : bits_(bits), palette_(FramePalette(bits)) {
        table_.resize(32768);
        for (int i = 0; i < 32768; ++i) {
            const int r = ((i >> 10) & 31) * 255 / 31, g = ((i >> 5) & 31) * 255 / 31, b = (i & 31) * 255 / 31;
            table_[i] = std::uint8_t(Nearest(palette_, QRgb(r << 16 | g << 8 | b)));
        }
    }
    std::uint8_t Index(QRgb c) const {
        if (bits_ == 1)
            return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) >= 128000 ? 1 : 0;
        return table_[((c >> 9) & 0x7C00) | ((c >> 6) & 0x3E0) | ((c >> 3) & 0x1F)];
    }
    const QList<QRgb> &Palette() const { return palette_; }

private:
    int bits_;
    QList<QRgb> palette_;
    std::vector<std::uint8_t> table_;
};

const IndexTable &TableFor(int bits) {
    static const IndexTable t1(1), t4(4), t8(8);
    return bits == 1 ? t1 : bits == 4 ? t4 : t8;
}

} // namespace

const QList<QRgb> &FramePalette(int bitsPerPixel) {
    static const QList<QRgb> p1 = MakePalette(1), p4 = MakePalette(4), p8 = MakePalette(8), none;
    switch (bitsPerPixel) {
    case 1: return p1;
    case 4: return p4;
    case 8: return p8;
    default: return none;
    }
}

void QuantiseToPalette(QImage &rgb32, int bitsPerPixel) {
    if (bitsPerPixel > 8 || bitsPerPixel <= 0)
        return;
    const IndexTable &t = TableFor(bitsPerPixel);
    const QList<QRgb> &pal = t.Palette();
    for (int y = 0; y < rgb32.height(); ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(rgb32.scanLine(y));
        for (int x = 0; x < rgb32.width(); ++x)
            row[x] = 0xFF000000u | pal[t.Index(row[x])];
    }
}

int DibStride(int width, int bitsPerPixel) {
    return int(((qint64(width) * bitsPerPixel + 31) / 32) * 4);
}

QByteArray BitmapInfo(int width, int height, int bitsPerPixel, std::uint32_t compression, std::uint32_t sizeImage,
                      bool withColourTable) {
    const QList<QRgb> &pal = FramePalette(bitsPerPixel);
    const int colours = (withColourTable && bitsPerPixel <= 8) ? (1 << bitsPerPixel) : 0;
    QByteArray h(40 + 4 * colours, '\0');
    char *p = h.data();
    PutLe32(p, 40);
    PutLe32(p + 4, std::uint32_t(width));
    PutLe32(p + 8, std::uint32_t(height));
    PutLe16(p + 12, 1);
    PutLe16(p + 14, std::uint16_t(bitsPerPixel));
    PutLe32(p + 16, compression);
    PutLe32(p + 20, sizeImage);
    for (int i = 0; i < colours; ++i) {
        const QRgb c = i < pal.size() ? pal[i] : 0;
        p[40 + 4 * i] = char(qBlue(c));
        p[41 + 4 * i] = char(qGreen(c));
        p[42 + 4 * i] = char(qRed(c));
    }
    return h;
}

void PackDib(const QImage &rgb32, int bits, QByteArray &out) {
    const int w = rgb32.width(), h = rgb32.height(), stride = DibStride(w, bits);
    out.resize(qsizetype(stride) * h);
    char *base = out.data();
    const IndexTable *t = bits <= 8 ? &TableFor(bits) : nullptr;
    for (int y = 0; y < h; ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(rgb32.constScanLine(h - 1 - y));
        auto *dst = reinterpret_cast<std::uint8_t *>(base + qsizetype(stride) * y);
        switch (bits) {
        case 32:
            std::memcpy(dst, src, size_t(w) * 4);
            break;
        case 24: {
            for (int x = 0; x < w; ++x) {
                const QRgb c = src[x];
                dst[0] = std::uint8_t(c);
                dst[1] = std::uint8_t(c >> 8);
                dst[2] = std::uint8_t(c >> 16);
                dst += 3;
            }
            for (int x = w * 3; x < stride; ++x)
                *dst++ = 0;
            break;
        }
        default: {
            std::memset(dst, 0, size_t(stride));
            const int perByte = 8 / bits;
            for (int x = 0; x < w; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                dst[x / perByte] |= std::uint8_t(t->Index(src[x]) << shift);
            }
        }
        }
    }
}

QImage UnpackDib(const QByteArray &info, const char *bits, qint64 size) {
    if (info.size() < 40)
        return {};
    const int w = int(GetLe32(info.constData() + 4));
    const int rawH = int(GetLe32(info.constData() + 8));
    const int bpp = GetLe16(info.constData() + 14);
    const bool bottomUp = rawH > 0;
    const int h = bottomUp ? rawH : -rawH;
    if (w <= 0 || h <= 0 || GetLe32(info.constData() + 16) != 0)
        return {};
    const int stride = DibStride(w, bpp);
    if (size < qint64(stride) * h)
        return {};
    QList<QRgb> pal;
    if (bpp <= 8) {
        for (int i = 0; i < (1 << bpp) && 40 + 4 * i + 3 < info.size(); ++i) {
            const char *c = info.constData() + 40 + 4 * i;
            pal.append(QRgb(std::uint8_t(c[2]) << 16 | std::uint8_t(c[1]) << 8 | std::uint8_t(c[0])));
        }
        if (pal.size() < (1 << bpp))
            return {};
    } else if (bpp != 24 && bpp != 32) {
        return {};
    }
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull())
        return {};
    for (int y = 0; y < h; ++y) {
        const auto *src = reinterpret_cast<const std::uint8_t *>(bits + qint64(stride) * (bottomUp ? h - 1 - y : y));
        QRgb *dst = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (bpp == 32) {
                dst[x] = 0xFF000000u | src[4 * x + 2] << 16 | src[4 * x + 1] << 8 | src[4 * x];
            } else if (bpp == 24) {
                dst[x] = 0xFF000000u | src[3 * x + 2] << 16 | src[3 * x + 1] << 8 | src[3 * x];
            } else {
                const int perByte = 8 / bpp;
                const int shift = 8 - bpp * (x % perByte + 1);
                dst[x] = 0xFF000000u | pal[(src[x / perByte] >> shift) & ((1 << bpp) - 1)];
            }
        }
    }
    return img;
}

std::uint32_t FourCC(const QString &text) {
    if (text.isEmpty())
        return 0;
    const QByteArray l = text.left(4).toLatin1();
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(std::uint8_t(i < l.size() ? l[i] : ' ')) << (8 * i);
    return v;
}

QString FourCCText(std::uint32_t code) {
    QString s;
    for (int i = 0; i < 4; ++i)
        s += QChar(char((code >> (8 * i)) & 0xFF));
    return s;
}

} // namespace sky
