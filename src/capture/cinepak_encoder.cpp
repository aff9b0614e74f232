#include "capture/cinepak_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace sky {

namespace cinepak {

namespace {

// Weights of each component in the median cut's spread: what an error in it costs in the
// decoded R, G and B of a 2x2 block (see Distance), cross terms left out.
constexpr int kWeight[6] = {3, 3, 3, 3, 17, 20};
constexpr int kMaxEntries = 256;
constexpr int kFar = 1 << 24; // beyond any distance

// R + G + B summed over the decoded 2x2 block, offset to start at 0. The distance of two
// vectors is at least the square of the difference of their sums over the 12 samples / 12.
constexpr int kSumOffset = 1280, kSumRange = 5612;
inline int SampleSum(const TVec &v) {
    return 3 * (v.y[0] + v.y[1] + v.y[2] + v.y[3]) + 6 * v.u + 4 * v.v + kSumOffset;
}

inline std::uint64_t Key(const TVec &v) {
    std::uint64_t k = 0;
    std::memcpy(&k, &v, sizeof v);
    return k;
}

inline int Clamp(long v, int lo, int hi) {
    return int(std::min<long>(hi, std::max<long>(lo, v)));
}

TVec Centroid(const std::int64_t *sum, std::int64_t weight) {
    TVec e;
    const double w = double(weight);
    for (int d = 0; d < 4; ++d)
        e.y[d] = std::uint8_t(Clamp(std::lround(double(sum[d]) / w), 0, 255));
    e.u = std::int8_t(Clamp(std::lround(double(sum[4]) / w), -128, 127));
    e.v = std::int8_t(Clamp(std::lround(double(sum[5]) / w), -128, 127));
    return e;
}

} // namespace

int TCodebook::Distance(const TVec &a, const TVec &b) {
    // The decoder makes R = Y + 2V, G = Y - U/2 - V, B = Y + 2U; summing the squared errors of
    // the three over the four pixels gives this (the rounding of U/2 and clipping left out).
    const int y0 = a.y[0] - b.y[0], y1 = a.y[1] - b.y[1], y2 = a.y[2] - b.y[2], y3 = a.y[3] - b.y[3];
    const int u = a.u - b.u, v = a.v - b.v;
    return 3 * (y0 * y0 + y1 * y1 + y2 * y2 + y3 * y3) + (y0 + y1 + y2 + y3) * (3 * u + 2 * v) + 17 * u * u +
           20 * v * v + 4 * u * v;
}

void TCodebook::Build(const TVec *vecs, int n, int refinePasses, std::uint8_t *index, int *error) {
    entries_.clear();
    if (n <= 0)
        return;
    Dedup(vecs, n);
    const int m = int(items_.size());
    itemEntry_.resize(size_t(m));
    itemError_.resize(size_t(m));
    if (m <= kMaxEntries) {
        // Few enough to keep every one: exact.
        order_.resize(size_t(m));
        std::iota(order_.begin(), order_.end(), 0);
        std::sort(order_.begin(), order_.end(),
                  [&](int a, int b) { return SampleSum(items_[size_t(a)]) < SampleSum(items_[size_t(b)]); });
        entries_.resize(size_t(m));
        for (int k = 0; k < m; ++k) {
            entries_[size_t(k)] = items_[size_t(order_[size_t(k)])];
            itemEntry_[size_t(order_[size_t(k)])] = std::uint8_t(k);
            itemError_[size_t(order_[size_t(k)])] = 0;
        }
    } else {
        MedianCut();
        for (int p = 0; p < refinePasses; ++p)
            Refine();
        IndexEntries();
        Assign();
    }
    for (int i = 0; i < n; ++i) {
        const int it = itemOf_[size_t(i)];
        index[i] = itemEntry_[size_t(it)];
        error[i] = itemError_[size_t(it)];
    }
}

void TCodebook::Dedup(const TVec *vecs, int n) {
    items_.clear();
    counts_.clear();
    itemOf_.resize(size_t(n));
    int bits = 6;
    while ((std::size_t(1) << bits) < std::size_t(n) * 2)
        ++bits;
    const std::size_t cap = std::size_t(1) << bits, mask = cap - 1;
    if (table_.size() < cap) {
        table_.assign(cap, TSlot{0, 0, 0});
        stamp_ = 0;
    }
    // A slot belongs to this call when it carries this call's stamp: no clearing between calls.
    if (++stamp_ == 0) {
        for (TSlot &s : table_)
            s.stamp = 0;
        stamp_ = 1;
    }
    for (int i = 0; i < n; ++i) {
        const std::uint64_t key = Key(vecs[i]);
        std::size_t h = std::size_t((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
        for (;;) {
            TSlot &s = table_[h];
            if (s.stamp != stamp_) {
                s = TSlot{key, int(items_.size()), stamp_};
                itemOf_[size_t(i)] = s.id;
                items_.push_back(vecs[i]);
                counts_.push_back(1);
                break;
            }
            if (s.key == key) {
                itemOf_[size_t(i)] = s.id;
                ++counts_[size_t(s.id)];
                break;
            }
            h = (h + 1) & mask;
        }
    }
}

void TCodebook::Measure(TCell &c) const {
    c.weight = 0;
    for (int d = 0; d < 6; ++d)
        c.sum[d] = c.sq[d] = 0;
    for (int k = c.begin; k < c.end; ++k) {
        const TVec &v = items_[size_t(order_[size_t(k)])];
        const std::int64_t w = counts_[size_t(order_[size_t(k)])];
        c.weight += w;
        for (int d = 0; d < 6; ++d) {
            const std::int64_t x = v.C(d);
            c.sum[d] += w * x;
            c.sq[d] += w * x * x;
        }
    }
    c.spread = -1;
    c.dim = 0;
    if (c.end - c.begin < 2)
        return;
    double best = -1, total = 0;
    for (int d = 0; d < 6; ++d) {
        const double s = kWeight[d] * (double(c.sq[d]) - double(c.sum[d]) * double(c.sum[d]) / double(c.weight));
        total += s;
        if (s > best) {
            best = s;
            c.dim = d;
        }
    }
    c.spread = total;
}

void TCodebook::MedianCut() {
    const int m = int(items_.size());
    order_.resize(size_t(m));
    std::iota(order_.begin(), order_.end(), 0);
    cells_.clear();
    TCell root{};
    root.begin = 0;
    root.end = m;
    Measure(root);
    cells_.push_back(root);
    // Split the cell of the largest spread along its widest component at the mean until the
    // codebook is full or nothing is left to split.
    while (int(cells_.size()) < kMaxEntries) {
        int pick = -1;
        double widest = 0;
        for (int i = 0; i < int(cells_.size()); ++i)
            if (cells_[size_t(i)].spread > widest) {
                widest = cells_[size_t(i)].spread;
                pick = i;
            }
        if (pick < 0)
            break;
        TCell &c = cells_[size_t(pick)];
        const int d = c.dim;
        const long cut = long(std::floor(double(c.sum[d]) / double(c.weight)));
        const auto first = order_.begin() + c.begin, last = order_.begin() + c.end;
        const int mid = int(std::partition(first, last, [&](int it) { return items_[size_t(it)].C(d) <= cut; }) -
                            order_.begin());
        if (mid == c.begin || mid == c.end) {
            c.spread = -1;
            continue;
        }
        TCell lo{}, hi{};
        lo.begin = c.begin;
        lo.end = mid;
        hi.begin = mid;
        hi.end = c.end;
        Measure(lo);
        Measure(hi);
        cells_[size_t(pick)] = lo;
        cells_.push_back(hi);
    }
    entries_.resize(cells_.size());
    for (std::size_t i = 0; i < cells_.size(); ++i)
        entries_[i] = Centroid(cells_[i].sum, cells_[i].weight);
}

void TCodebook::IndexEntries() {
    std::sort(entries_.begin(), entries_.end(), [](const TVec &a, const TVec &b) { return SampleSum(a) < SampleSum(b); });
    int k = 0;
    const int n = int(entries_.size());
    for (int s = 0; s < int(start_.size()); ++s) {
        while (k < n && SampleSum(entries_[size_t(k)]) < s)
            ++k;
        start_[size_t(s)] = k;
    }
}

int TCodebook::Nearest(const TVec &v, int &error) const {
    // Entries are sorted by their sum; the sums alone bound the distance from below
    // (dSum^2 / 12), so the search walks out from v's own sum and stops at that bound.
    const int s = SampleSum(v), n = int(entries_.size());
    int best = kFar, pick = 0;
    // Takes entry k when it is nearer; false once no entry further out can be.
    auto consider = [&](int k) {
        const TVec &e = entries_[size_t(k)];
        const int ds = SampleSum(e) - s;
        if (ds * ds >= 12 * best)
            return false;
        if (const int d = Distance(v, e); d < best) {
            best = d;
            pick = k;
        }
        return true;
    };
    for (int k = start_[size_t(s)]; k < n && consider(k); ++k) {
    }
    for (int k = start_[size_t(s)] - 1; k >= 0 && consider(k); --k) {
    }
    error = best;
    return pick;
}

void TCodebook::Assign() {
    for (std::size_t i = 0; i < items_.size(); ++i)
        itemEntry_[i] = std::uint8_t(Nearest(items_[i], itemError_[i]));
}

void TCodebook::Refine() {
    IndexEntries();
    Assign();
    const std::size_t k = entries_.size();
    acc_.assign(k * 7, 0);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        std::int64_t *a = &acc_[size_t(itemEntry_[i]) * 7];
        const std::int64_t w = counts_[i];
        a[0] += w;
        for (int d = 0; d < 6; ++d)
            a[1 + d] += w * items_[i].C(d);
    }
    for (std::size_t e = 0; e < k; ++e)
        if (acc_[e * 7] > 0)
            entries_[e] = Centroid(&acc_[e * 7 + 1], acc_[e * 7]);
}

} // namespace cinepak

using cinepak::TCodebook;
using cinepak::TVec;

namespace {

// Strips of about 48 pixel rows up to the default Quality: codebooks that follow the picture
// closely at a modest cost. Above it, narrower strips down to 8 rows.
constexpr int kStripBlockRows = 12;
constexpr int kFewestStripBlockRows = 2;
// Nearest-entry passes after the median cut.
constexpr int kRefinePasses = 1;
// A strip whose data stays below 64 KB reads in decoders with 16-bit chunk sizes as well.
constexpr int kStripBlocks = 14000;
// Decoders keep the codebooks of at most 32 strips (FFmpeg's ignores the rest without a word):
// a frame never has more, however high it is.
constexpr int kMaxStrips = 32;
constexpr int kFrameHeader = 10, kStripHeader = 12, kChunkHeader = 4, kEntryBytes = 6;

// Block rows of each strip for a frame of bw x bh blocks.
std::vector<int> StripLayout(int bw, int bh, int wanted) {
    const int rows = std::max({1, std::min(wanted, kStripBlocks / std::max(1, bw)), (bh + kMaxStrips - 1) / kMaxStrips});
    const int n = (bh + rows - 1) / rows;
    std::vector<int> layout(size_t(n), bh / n);
    for (int i = 0; i < bh % n; ++i)
        ++layout[size_t(i)];
    return layout;
}

// The error of a 4x4 block's four 2x2 vectors `sub` drawn from one V1 vector: each of its
// lumas fills one 2x2 block, with its chroma.
int V1Error(const TVec *sub, const TVec &v1) {
    int err = 0;
    for (int k = 0; k < 4; ++k) {
        TVec flat;
        flat.y[0] = flat.y[1] = flat.y[2] = flat.y[3] = v1.y[k];
        flat.u = v1.u;
        flat.v = v1.v;
        err += TCodebook::Distance(sub[k], flat);
    }
    return err;
}

inline int RoundDiv(int num, int den) {
    return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

} // namespace

bool TCinepakEncoder::Accepts(int width, int height) {
    if (width <= 0 || height <= 0 || width % 4 || height % 4 || width > 65532 || height > 65532)
        return false;
    const std::int64_t bw = width / 4, bh = height / 4;
    // The largest strip of any Quality's layout: both codebooks full, four indices and two flag
    // bits a block. It must fit a 16-bit size, so a frame is at most 32 strips of under 64 KB.
    for (int wanted : {kStripBlockRows, kFewestStripBlockRows}) {
        for (int rows : StripLayout(int(bw), int(bh), wanted)) {
            const std::int64_t blocks = bw * rows;
            const std::int64_t bytes =
                kStripHeader + 3 * kChunkHeader + 2 * 256 * kEntryBytes + 4 * blocks + 4 * ((2 * blocks + 31) / 32);
            if (bytes > 0xFFFF)
                return false;
        }
    }
    return true;
}

bool TCinepakEncoder::Open(int width, int height, int quality, int keyFrameEvery) {
    Close();
    if (!Accepts(width, height))
        return false;
    width_ = width;
    height_ = height;
    bw_ = width / 4;
    bh_ = height / 4;
    keyFrameEvery_ = std::max(1, keyFrameEvery);
    // The error (summed squared R, G, B errors) a 4x4 block may keep on one vector before it
    // takes four: doubles every 1000 steps of Quality down, 48 (one unit a sample) at 10000.
    const int q = quality < 0 ? 5000 : std::min(quality, 10000);
    threshold_ = int(std::lround(48.0 * std::exp2((10000 - q) / 1000.0)));
    // What a byte of data is worth in error when choosing between one and four vectors.
    lambda_ = std::max(1, threshold_ / 8);
    // Above the default Quality the strips get narrower: more codebook entries for the picture.
    stripRows_ = StripLayout(bw_, bh_, std::max(kFewestStripBlockRows, kStripBlockRows - std::max(0, q - 5000) / 500));
    const std::size_t blocks = std::size_t(bw_) * std::size_t(bh_);
    sub_.resize(blocks * 4);
    v1_.resize(blocks);
    own1_.resize(blocks);
    changed_.assign(blocks, 1);
    prev_.clear();
    prev_.resize(std::size_t(width_) * std::size_t(height_));
    havePrev_ = false;
    frameNo_ = 0;
    out_.reserve(blocks * 5 + stripRows_.size() * 3200 + 64);
    return true;
}

void TCinepakEncoder::Close() {
    width_ = height_ = bw_ = bh_ = 0;
    stripRows_.clear();
    prev_.clear();
    prev_.shrink_to_fit();
    havePrev_ = false;
}

void TCinepakEncoder::Convert(const QImage &frame, bool key) {
    const qsizetype stride = frame.bytesPerLine() / 4;
    const QRgb *base = reinterpret_cast<const QRgb *>(frame.constBits());
    for (int by = 0; by < bh_; ++by) {
        for (int bx = 0; bx < bw_; ++bx) {
            const std::size_t b = std::size_t(by) * std::size_t(bw_) + std::size_t(bx);
            const QRgb *p = base + qsizetype(by) * 4 * stride + bx * 4;
            QRgb *q = prev_.data() + (std::size_t(by) * 4 * std::size_t(width_) + std::size_t(bx) * 4);
            bool same = !key;
            for (int r = 0; r < 4 && same; ++r)
                same = std::memcmp(p + r * stride, q + std::size_t(r) * std::size_t(width_), 16) == 0;
            changed_[b] = !same;
            if (same)
                continue;
            for (int r = 0; r < 4; ++r)
                std::memcpy(q + std::size_t(r) * std::size_t(width_), p + r * stride, 16);
            // Chroma is shared by the pixels of a 2x2 block (of the whole 4x4 block for V1), so
            // each pixel's luma is the one that brings its R, G and B closest under that chroma:
            // Y = (R + G + B - 1.5 U - V) / 3. U and V are those of the mean colour,
            // U = (B - Y) / 2 and V = (R - Y) / 2 with Y = (2R + 4G + B) / 7.
            int sum3[16], y7[16], red[16], blue[16];
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) {
                    const QRgb px = p[r * stride + c];
                    const int i = r * 4 + c;
                    red[i] = qRed(px);
                    blue[i] = qBlue(px);
                    y7[i] = 2 * red[i] + 4 * qGreen(px) + blue[i];
                    sum3[i] = red[i] + qGreen(px) + blue[i];
                }
            TVec *s = &sub_[b * 4];
            TVec &one = v1_[b];
            int sumY7 = 0, sumR = 0, sumB = 0;
            for (int k = 0; k < 4; ++k) {
                const int i0 = (k >> 1) * 8 + (k & 1) * 2; // top-left pixel of 2x2 block k
                const int idx[4] = {i0, i0 + 1, i0 + 4, i0 + 5};
                int y = 0, r = 0, bl = 0;
                for (int j = 0; j < 4; ++j) {
                    y += y7[idx[j]];
                    r += red[idx[j]];
                    bl += blue[idx[j]];
                }
                s[k].u = std::int8_t(std::clamp(RoundDiv(7 * bl - y, 56), -128, 127));
                s[k].v = std::int8_t(std::clamp(RoundDiv(7 * r - y, 56), -128, 127));
                const int shift = 3 * s[k].u + 2 * s[k].v; // 2 x (1.5 U + V)
                for (int j = 0; j < 4; ++j)
                    s[k].y[j] = std::uint8_t(std::clamp(RoundDiv(2 * sum3[idx[j]] - shift, 6), 0, 255));
                sumY7 += y;
                sumR += r;
                sumB += bl;
            }
            one.u = std::int8_t(std::clamp(RoundDiv(7 * sumB - sumY7, 224), -128, 127));
            one.v = std::int8_t(std::clamp(RoundDiv(7 * sumR - sumY7, 224), -128, 127));
            const int shift = 3 * one.u + 2 * one.v;
            for (int k = 0; k < 4; ++k) {
                const int i0 = (k >> 1) * 8 + (k & 1) * 2;
                const int total = sum3[i0] + sum3[i0 + 1] + sum3[i0 + 4] + sum3[i0 + 5];
                one.y[k] = std::uint8_t(std::clamp(RoundDiv(2 * total - 4 * shift, 24), 0, 255));
            }
            // The error V1 keeps with its own vector: what differs inside each 2x2 block.
            own1_[b] = V1Error(s, one);
        }
    }
}

void TCinepakEncoder::CodeStrip(int firstRow, int rows, bool key) {
    const std::size_t stripAt = out_.size();
    Put8(key ? 0x10 : 0x11);
    Put8(0);
    Put16(0); // size, filled in below
    Put16(0); // top and left 0: the strip follows the one before
    Put16(0);
    Put16(rows * 4);
    Put16(width_);

    const int b0 = firstRow * bw_, b1 = (firstRow + rows) * bw_;
    blocks_.clear();
    for (int b = b0; b < b1; ++b)
        if (changed_[size_t(b)])
            blocks_.push_back(b);
    const int n = int(blocks_.size());
    v4_.assign(size_t(n), 0);
    idx1_.assign(size_t(n), 0);
    idx4_.assign(size_t(n) * 4, 0);
    err1_.assign(size_t(n), kFarError);

    if (n > 0) {
        // V1 codebook from the blocks one vector can carry at all.
        list1_.clear();
        gather_.clear();
        for (int j = 0; j < n; ++j)
            if (own1_[size_t(blocks_[size_t(j)])] <= threshold_) {
                list1_.push_back(j);
                gather_.push_back(v1_[size_t(blocks_[size_t(j)])]);
            }
        tmpIdx_.resize(gather_.size());
        tmpErr_.resize(gather_.size());
        cb1_.Build(gather_.data(), int(gather_.size()), kRefinePasses, tmpIdx_.data(), tmpErr_.data());
        for (std::size_t t = 0; t < list1_.size(); ++t) {
            const int j = list1_[t];
            const TVec &e = cb1_.Entries()[tmpIdx_[t]];
            idx1_[size_t(j)] = tmpIdx_[t];
            err1_[size_t(j)] = V1Error(&sub_[size_t(blocks_[size_t(j)]) * 4], e);
        }
        // V4 codebook from the blocks that V1 leaves above the threshold.
        list4_.clear();
        gather_.clear();
        for (int j = 0; j < n; ++j)
            if (err1_[size_t(j)] > threshold_) {
                list4_.push_back(j);
                const TVec *s = &sub_[size_t(blocks_[size_t(j)]) * 4];
                gather_.insert(gather_.end(), s, s + 4);
            }
        tmpIdx_.resize(gather_.size());
        tmpErr_.resize(gather_.size());
        cb4_.Build(gather_.data(), int(gather_.size()), kRefinePasses, tmpIdx_.data(), tmpErr_.data());
        for (std::size_t t = 0; t < list4_.size(); ++t) {
            const int j = list4_[t];
            int err = 0;
            for (int k = 0; k < 4; ++k) {
                idx4_[size_t(j) * 4 + size_t(k)] = tmpIdx_[t * 4 + size_t(k)];
                err += tmpErr_[t * 4 + size_t(k)];
            }
            // Four vectors cost three bytes more than one.
            v4_[size_t(j)] = std::int64_t(err) + 3 * std::int64_t(lambda_) < std::int64_t(err1_[size_t(j)]);
        }
    }

    // Only the entries in use go out, renumbered in order.
    bool used1[256] = {}, used4[256] = {};
    bool anyV4 = false;
    for (int j = 0; j < n; ++j) {
        if (v4_[size_t(j)]) {
            anyV4 = true;
            for (int k = 0; k < 4; ++k)
                used4[idx4_[size_t(j) * 4 + size_t(k)]] = true;
        } else {
            used1[idx1_[size_t(j)]] = true;
        }
    }
    std::uint8_t map1[256], map4[256];
    auto putCodebook = [&](int id, const std::vector<TVec> &entries, const bool *used, std::uint8_t *map) {
        int count = 0;
        for (std::size_t e = 0; e < entries.size(); ++e)
            if (used[e])
                map[e] = std::uint8_t(count++);
        if (count == 0)
            return;
        Put8(id);
        Put8(0);
        Put16(kChunkHeader + count * kEntryBytes);
        for (std::size_t e = 0; e < entries.size(); ++e)
            if (used[e]) {
                const TVec &v = entries[e];
                out_.insert(out_.end(), {v.y[0], v.y[1], v.y[2], v.y[3], std::uint8_t(v.u), std::uint8_t(v.v)});
            }
    };
    putCodebook(0x20, cb4_.Entries(), used4, map4);
    putCodebook(0x22, cb1_.Entries(), used1, map1);

    // The blocks: 0x30 flags V4 (1) or V1 (0) for each block, 0x32 has no flags (all V1), 0x31
    // flags each block coded (1) or kept (0) and a coded one V4 or V1 after it. Flag words are
    // 32 bits, most significant bit first, each placed where its first flag is read.
    const int chunkId = !key ? 0x31 : anyV4 ? 0x30 : 0x32;
    const std::size_t chunkAt = out_.size();
    Put8(chunkId);
    Put8(0);
    Put16(0);
    std::size_t wordAt = 0;
    std::uint32_t word = 0;
    int bitsLeft = 0;
    auto putBit = [&](bool bit) {
        if (bitsLeft == 0) {
            if (wordAt)
                Patch32(wordAt, word);
            wordAt = out_.size();
            out_.insert(out_.end(), 4, 0);
            word = 0;
            bitsLeft = 32;
        }
        --bitsLeft;
        if (bit)
            word |= 1u << bitsLeft;
    };
    auto putBlock = [&](int j) {
        if (v4_[size_t(j)]) {
            for (int k = 0; k < 4; ++k)
                Put8(map4[idx4_[size_t(j) * 4 + size_t(k)]]);
        } else {
            Put8(map1[idx1_[size_t(j)]]);
        }
    };
    if (key) {
        for (int j = 0; j < n; ++j) {
            if (chunkId == 0x30)
                putBit(v4_[size_t(j)]);
            putBlock(j);
        }
    } else {
        int j = 0;
        for (int b = b0; b < b1; ++b) {
            const bool coded = j < n && blocks_[size_t(j)] == b;
            putBit(coded);
            if (coded) {
                putBit(v4_[size_t(j)]);
                putBlock(j++);
            }
        }
    }
    if (wordAt)
        Patch32(wordAt, word);
    Patch24(chunkAt + 1, out_.size() - chunkAt);
    Patch24(stripAt + 1, out_.size() - stripAt);
}

bool TCinepakEncoder::Encode(const QImage &frame, QByteArray &out, bool &keyFrame) {
    if (!IsOpen() || frame.width() != width_ || frame.height() != height_ || frame.format() != QImage::Format_RGB32)
        return false;
    const bool key = !havePrev_ || frameNo_ % keyFrameEvery_ == 0;
    Convert(frame, key);
    out_.clear();
    Put8(0); // flags: every strip carries the codebook entries it uses
    Put8(0);
    Put16(0); // length, filled in below
    Put16(width_);
    Put16(height_);
    Put16(int(stripRows_.size()));
    int row = 0;
    for (int rows : stripRows_) {
        CodeStrip(row, rows, key);
        row += rows;
    }
    Patch24(1, out_.size());
    out = QByteArray(reinterpret_cast<const char *>(out_.data()), qsizetype(out_.size()));
    keyFrame = key;
    havePrev_ = true;
    ++frameNo_;
    return true;
}

} // namespace sky
