#pragma once
// Frames as device-independent bitmaps: the pixel formats the AVI writer takes, the bitmap
// information header it stores as the stream format, and the conversion between a QImage and
// bottom-up DIB rows.
#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace sky {

// The widget framework's pixel-format enumeration, in its order.
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Bits per pixel of a format the writer accepts (1, 4, 8, 24, 32); 0 for any other.
int BitsPerPixel(TPixelFormat format);

// Fixed palettes of the frames at 8 bits or less, as 0x00RRGGBB values:
//  1 bit: black, white.
//  4 bits: the 16 standard VGA colours (black, maroon, green, olive, navy, purple, teal, silver,
//          grey, red, lime, yellow, blue, fuchsia, aqua, white).
//  8 bits: a 6 x 6 x 6 colour cube (index = 36 r + 6 g + b, levels 0, 51, ..., 255) followed by
//          a ramp of 40 greys from 0 to 255.
const QList<QRgb> &FramePalette(int bitsPerPixel);

// Maps every pixel of an RGB32 image onto the nearest colour of the palette for `bitsPerPixel`
// (no-op for 24 and 32 bits), so the image shows what the frame at that depth holds.
void QuantiseToPalette(QImage &rgb32, int bitsPerPixel);

// Bytes of one DIB row: width * bits rounded up to whole 32-bit words.
int DibStride(int width, int bitsPerPixel);

// The 40-byte bitmap information header (little-endian), followed by the colour table (4 bytes
// per entry, blue-green-red-0) when bitsPerPixel <= 8.
QByteArray BitmapInfo(int width, int height, int bitsPerPixel, std::uint32_t compression = 0,
                      std::uint32_t sizeImage = 0, bool withColourTable = true);

// Packs an RGB32 image (already quantised for <= 8 bits) into bottom-up DIB rows.
void PackDib(const QImage &rgb32, int bitsPerPixel, QByteArray &out);

// Reads uncompressed DIB pixels back into an RGB32 image using the header and colour table in
// `bitmapInfo`. Returns a null image when the header or the pixel count does not fit.
QImage UnpackDib(const QByteArray &bitmapInfo, const char *bits, qint64 size);

// Little-endian field access for the RIFF structures.
inline void PutLe16(char *p, std::uint16_t v) {
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
inline void PutLe32(char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}
inline void PutLe64(char *p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}
inline std::uint16_t GetLe16(const char *p) {
    return std::uint16_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8));
}
inline std::uint32_t GetLe32(const char *p) {
    return std::uint32_t(std::uint8_t(p[0])) | (std::uint32_t(std::uint8_t(p[1])) << 8) |
           (std::uint32_t(std::uint8_t(p[2])) << 16) | (std::uint32_t(std::uint8_t(p[3])) << 24);
}

// FOURCC of the first four characters, lowest byte first, blank-padded like the platform's
// string-to-FOURCC conversion; 0 for an empty text.
std::uint32_t FourCC(const QString &text);
QString FourCCText(std::uint32_t code);

} // namespace sky
