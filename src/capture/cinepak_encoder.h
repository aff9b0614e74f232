#pragma once
// Our own Cinepak (FOURCC cvid) compressor: one RGB32 frame in, one Cinepak frame out.
//
// 12-bit colour (codebook entries Y0..Y3, U, V). The frame is cut into horizontal strips, each
// with V1 and V4 codebooks of its own, built fresh for every frame from the blocks that strip
// codes: exact when the strip has at most 256 distinct vectors (common on screen content), else
// a median cut of the distinct vectors refined by a nearest-entry pass. Each 4x4 block gets one
// V1 vector or four V4 vectors, whichever its error and the Quality call for. Key frames code
// every block; the frames between code only the blocks that changed since the frame before and
// leave the rest as the decoder has them. Buffers are kept from frame to frame.
#include <QByteArray>
#include <QImage>
#include <QSize>

#include <array>
#include <cstdint>
#include <vector>

namespace sky {

namespace cinepak {

// One codebook entry or source vector: four luma values of a 2x2 block and its chroma.
struct TVec {
    std::uint8_t y[4];
    std::int8_t u, v;
    int C(int d) const { return d < 4 ? y[d] : d == 4 ? u : v; }
};

// Builds one codebook of at most 256 entries for a set of vectors and maps every vector onto
// its nearest entry. Entries come out sorted by their decoded R + G + B.
class TCodebook {
public:
    // `index[i]` and `error[i]` receive the entry and weighted squared error of vecs[i].
    void Build(const TVec *vecs, int n, int refinePasses, std::uint8_t *index, int *error);
    const std::vector<TVec> &Entries() const { return entries_; }

    // Weighted squared error of coding `a` (one 2x2 block) with `b`, in units of the decoded
    // pixels' squared R, G and B errors.
    static int Distance(const TVec &a, const TVec &b);

private:
    struct TSlot {
        std::uint64_t key;
        int id;
        std::uint32_t stamp;
    };
    struct TCell {
        int begin, end;
        std::int64_t weight;
        std::int64_t sum[6], sq[6];
        double spread; // weighted squared deviation, < 0 when the cell cannot be split
        int dim;       // component of the largest spread
    };

    void Dedup(const TVec *vecs, int n);
    void MedianCut();
    void Refine();
    void Assign();
    void IndexEntries();
    int Nearest(const TVec &v, int &error) const;
    void Measure(TCell &c) const;

    std::vector<TVec> entries_;
    std::vector<TSlot> table_;
    std::uint32_t stamp_ = 0;
    std::vector<TVec> items_;      // distinct vectors
    std::vector<int> counts_;      // how often each occurs
    std::vector<int> itemOf_;      // distinct vector of each input vector
    std::vector<int> order_;       // items, grouped by cell
    std::vector<TCell> cells_;
    std::vector<std::uint8_t> itemEntry_;
    std::vector<int> itemError_;
    std::vector<std::int64_t> acc_; // per entry: weight and six sums
    std::array<int, 5612> start_{}; // first entry whose sum is >= the index
};

} // namespace cinepak

class TCinepakEncoder {
public:
    // Whether frames of this size can be coded: positive multiples of 4 that fit the stream's
    // 16-bit sizes and a frame that fits its 24-bit length.
    static bool Accepts(int width, int height);

    // `quality` 0..10000 (negative: 5000) sets the error a block may keep before it gets four
    // vectors; `keyFrameEvery` is the distance between key frames (1: every frame).
    bool Open(int width, int height, int quality, int keyFrameEvery);
    void Close();
    bool IsOpen() const { return width_ > 0; }
    QSize Size() const { return IsOpen() ? QSize(width_, height_) : QSize(); }
    int Strips() const { return int(stripRows_.size()); }

    // Compresses one RGB32 frame of the open size; `keyFrame` tells what it made.
    bool Encode(const QImage &frame, QByteArray &out, bool &keyFrame);

private:
    void Convert(const QImage &frame, bool key);
    void CodeStrip(int firstRow, int rows, bool key);
    void Put8(int v) { out_.push_back(std::uint8_t(v)); }
    void Put16(int v) {
        Put8(v >> 8);
        Put8(v);
    }
    void Patch24(std::size_t at, std::size_t value) {
        out_[at] = std::uint8_t(value >> 16);
        out_[at + 1] = std::uint8_t(value >> 8);
        out_[at + 2] = std::uint8_t(value);
    }
    void Patch32(std::size_t at, std::uint32_t value) {
        out_[at] = std::uint8_t(value >> 24);
        Patch24(at + 1, value & 0xFFFFFF);
    }

    static constexpr int kFarError = 1 << 30;

    int width_ = 0, height_ = 0, bw_ = 0, bh_ = 0;
    int threshold_ = 0, lambda_ = 0;
    int keyFrameEvery_ = 1;
    long long frameNo_ = 0;
    std::vector<int> stripRows_; // block rows of each strip
    std::vector<QRgb> prev_;     // the frame before, to find the blocks that changed
    bool havePrev_ = false;

    // Per block (row-major), filled for the blocks coded in this frame.
    std::vector<cinepak::TVec> sub_; // the four 2x2 vectors: top left, top right, bottom left, bottom right
    std::vector<cinepak::TVec> v1_;  // the block averaged to one vector
    std::vector<int> own1_;          // error V1 keeps whatever its codebook: the 2x2 blocks' spread
    std::vector<std::uint8_t> changed_;

    // Per strip scratch.
    std::vector<int> blocks_;      // coded blocks
    std::vector<std::uint8_t> v4_; // whether each coded block takes four vectors
    std::vector<cinepak::TVec> gather_;
    std::vector<std::uint8_t> idx1_, idx4_;
    std::vector<int> err1_, tmpErr_;
    std::vector<std::uint8_t> tmpIdx_;
    std::vector<int> list1_, list4_; // positions in blocks_ of the V1 and V4 codebook inputs
    cinepak::TCodebook cb1_, cb4_;

    std::vector<std::uint8_t> out_;
};

} // namespace sky
