#include "chart/value_list.h"

#include "chart/series.h"
#include "platform/error.h"
#include "platform/vector_clones.h"

#include <algorithm>
#include <cmath>
#if SKYVANE_HAS_FMA_TARGET
#include <immintrin.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void RaiseListIndexError(int index)
{
    throw sky::Error(QStringLiteral("List index out of bounds (%1)").arg(index));
}

TChartValueList::TChartValueList(TChartSeries *owner, const QString &name) : owner_(owner), name_(name)
{
    if (owner_) owner_->RegisterValueList(this);
}

void TChartValueList::SetDateTime(bool v)
{
    if (v == dateTime_) return;
    dateTime_ = v;
    if (owner_) owner_->RequestRepaint();
}

void TChartValueList::SetMultiplier(double v)
{
    if (v == multiplier_) return;
    multiplier_ = v;
    Touched();
    if (owner_) {
        owner_->RecalcLinkedSeries();
        owner_->RequestRepaint();
    }
}

std::vector<double> &TChartValueList::Own()
{
    if (Owned()) return store_->values;
    auto own = std::make_shared<Store>();
    if (Compact()) {
        SpellOut(own->values);
    } else if (store_) {
        const double *from = store_->values.data() + offset_;
        own->values.assign(from, from + count_);
    }
    store_ = std::move(own);
    offset_ = 0;
    constant_ = false;
    single_ = false;
    hundredths_ = false;
    runs_ = false;
    spelled_.reset();
    return store_->values;
}

const double *TChartValueList::Data() const
{
    if (Compact()) {
        if (!spelled_) { // every change of the values drops it
            spelled_ = std::make_shared<Store>();
            SpellOut(spelled_->values);
        }
        return spelled_->values.data();
    }
    return store_ ? store_->values.data() + offset_ : nullptr;
}

std::vector<double> TChartValueList::Copy() const
{
    if (Compact()) {
        std::vector<double> v;
        SpellOut(v);
        return v;
    }
    const double *p = Data();
    return p ? std::vector<double>(p, p + count_) : std::vector<double>();
}

void TChartValueList::ShareValues(const TChartValueList &source, int from, int count)
{
    if (&source == this) return;
    const size_t f = static_cast<size_t>(std::max(from, 0));
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), source.count_ > f ? source.count_ - f : 0);
    spelled_.reset();
    if (source.constant_) {
        SetConstant(source.constantValue_, static_cast<int>(n));
    } else if (n == 0 || !source.store_) {
        ClearAll();
        return;
    } else {
        store_ = source.store_;
        offset_ = source.offset_ + f;
        count_ = n;
        constant_ = false;
        single_ = source.single_;
        hundredths_ = source.hundredths_;
        runs_ = source.runs_;
        if (runs_) NewRunReader();
        Touched();
        // a run of an ascending or finite list is one too
        if (source.ascending_ == 1) ascending_ = 1;
        if (source.finite_ == 1) finite_ = 1;
    }
    if (f == 0 && n == source.count_) TakeStatsFrom(source);
}

void TChartValueList::SetConstant(double v, int count)
{
    if (store_ && store_.use_count() > 1) store_.reset(); // the other lists keep their values
    if (store_) {
        store_->values.clear(); // own storage stays for the next fill
        store_->singles.clear();
        store_->hundredths.clear();
        store_->runs.clear();
        store_->version = NextVersion();
    }
    spelled_.reset();
    offset_ = 0;
    single_ = false;
    hundredths_ = false;
    runs_ = false;
    count_ = static_cast<size_t>(std::max(count, 0));
    constant_ = count_ > 0;
    constantValue_ = v;
    Touched();
    if (!constant_) return;
    const double m = v * multiplier_;
    lowest_ = highest_ = m;
    statsStale_ = false;
    ascending_ = 1;
    finite_ = std::isfinite(v) ? 1 : 0;
}

void TChartValueList::SwapValues(std::vector<double> &v, bool ascending)
{
    if (Owned()) {
        store_->values.swap(v);
    } else {
        auto own = std::make_shared<Store>();
        own->values.swap(v);
        store_ = std::move(own);
        offset_ = 0;
        constant_ = false;
        single_ = false;
        hundredths_ = false;
        runs_ = false;
        spelled_.reset();
        v.clear();
    }
    Changed();
    if (ascending) ascending_ = 1;
}

TChartValueList::Store &TChartValueList::OwnStoreFor(Form form)
{
    if (!store_ || store_.use_count() > 1 || constant_) store_ = std::make_shared<Store>(); // the others keep theirs
    // no storage of another form beside it (its own comes back to the caller for reuse)
    if (form != Form::Singles) std::vector<float>().swap(store_->singles);
    if (form != Form::Hundredths) std::vector<std::int16_t>().swap(store_->hundredths);
    if (form != Form::Runs) std::vector<sky::FrequencyRun>().swap(store_->runs);
    std::vector<double>().swap(store_->values);
    return *store_;
}

void TChartValueList::Took(Form form, size_t count, const TValueFacts &facts)
{
    offset_ = 0;
    constant_ = false;
    // no values are held in no form
    single_ = count > 0 && form == Form::Singles;
    hundredths_ = count > 0 && form == Form::Hundredths;
    runs_ = count > 0 && form == Form::Runs;
    spelled_.reset();
    count_ = count;
    if (runs_) NewRunReader();
    store_->version = NextVersion();
    Touched();
    TakeFacts(facts);
}

void TChartValueList::SwapSingles(std::vector<float> &v, const TValueFacts &facts)
{
    Store &s = OwnStoreFor(Form::Singles);
    s.singles.swap(v);
    v.clear();
    Took(Form::Singles, s.singles.size(), facts);
}

void TChartValueList::SwapHundredths(std::vector<std::int16_t> &v, const TValueFacts &facts)
{
    Store &s = OwnStoreFor(Form::Hundredths);
    s.hundredths.swap(v);
    v.clear();
    Took(Form::Hundredths, s.hundredths.size(), facts);
}

void TChartValueList::SwapRuns(std::vector<sky::FrequencyRun> &runs, size_t points, double offset,
                               const TValueFacts &facts)
{
    Store &s = OwnStoreFor(Form::Runs);
    s.runs.swap(runs);
    runs.clear();
    s.runPoints = points;
    s.runOffset = offset;
    Took(Form::Runs, points, facts);
}

void TChartValueList::SpellOut(std::vector<double> &out) const
{
    if (constant_) {
        out.assign(count_, constantValue_);
    } else if (single_) {
        out.assign(Singles(), Singles() + count_);
    } else if (hundredths_) {
        sky::SpellOutHundredths(Hundredths(), count_, out);
    } else {
        // the whole store's values, then this list's run of them
        sky::SpellOutRuns(store_->runs, offset_ + count_, store_->runOffset, out);
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(offset_));
    }
}

void TChartValueList::TakeSingles(std::vector<float> &v)
{
    v.clear();
    if (single_ && store_.use_count() == 1 && offset_ == 0 && count_ == store_->singles.size()) {
        v.swap(store_->singles);
    } else if (single_) {
        v.assign(Singles(), Singles() + count_);
    } else if (count_ > 0) {
        const double *p = Data(); // a constant spelled out, which ClearAll drops
        v.assign(p, p + count_);
    }
    ClearAll();
}

void TChartValueList::SwapValues(std::vector<double> &v, const TValueFacts &facts)
{
    SwapValues(v, facts.ascending);
    TakeFacts(facts);
}

void TChartValueList::TakeFacts(const TValueFacts &facts)
{
    ascending_ = facts.ascending ? 1 : 0;
    finite_ = facts.finite ? 1 : 0;
    const double m = multiplier_;
    if (count_ == 0 || !facts.finite || !std::isfinite(m)) return;
    // Multiplying finite values by a finite factor keeps their order (turns it round below 0).
    // Where an extreme comes out zero, which zero Recalc finds depends on where the zeros lie:
    // that is left to it.
    const double lo = (m < 0 ? facts.highest : facts.lowest) * m, hi = (m < 0 ? facts.lowest : facts.highest) * m;
    if (lo == 0 || hi == 0) return;
    lowest_ = lo;
    highest_ = hi;
    statsStale_ = false;
}

TValueFacts TChartValueList::Facts() const
{
    if (multiplier_ != 1.0 || count_ == 0) {
        if (hundredths_) return FactsOf(Hundredths(), count_);
        if (runs_) {
            const std::vector<double> v = Copy(); // never in the window: frequencies are not multiplied
            return FactsOf(v.data(), v.size());
        }
        return single_ ? FactsOf(Singles(), count_) : FactsOf(Data(), count_);
    }
    TValueFacts f;
    f.ascending = IsAscending();
    f.finite = AllFinite();
    f.lowest = Lowest();
    f.highest = Highest();
    return f;
}

namespace {

#if defined(__SSE2__)
// The SSE2 operations FactsOf needs, on doubles and on floats.
template <class T> struct Lanes;
template <> struct Lanes<double> {
    using V = __m128d;
    static constexpr int width = 2;
    static V Load(const double *p) { return _mm_loadu_pd(p); }
    static V Fill(double v) { return _mm_set1_pd(v); }
    static V Zero() { return _mm_setzero_pd(); }
    static V Min(V a, V b) { return _mm_min_pd(a, b); }
    static V Max(V a, V b) { return _mm_max_pd(a, b); }
    static V Less(V a, V b) { return _mm_cmplt_pd(a, b); }
    static V Unequal(V a, V b) { return _mm_cmpneq_pd(a, b); }
    static V Minus(V a, V b) { return _mm_sub_pd(a, b); }
    static V Either(V a, V b) { return _mm_or_pd(a, b); }
    static void Store(double *p, V v) { _mm_store_pd(p, v); }
    static int Mask(V v) { return _mm_movemask_pd(v); }
};
template <> struct Lanes<float> {
    using V = __m128;
    static constexpr int width = 4;
    static V Load(const float *p) { return _mm_loadu_ps(p); }
    static V Fill(float v) { return _mm_set1_ps(v); }
    static V Zero() { return _mm_setzero_ps(); }
    static V Min(V a, V b) { return _mm_min_ps(a, b); }
    static V Max(V a, V b) { return _mm_max_ps(a, b); }
    static V Less(V a, V b) { return _mm_cmplt_ps(a, b); }
    static V Unequal(V a, V b) { return _mm_cmpneq_ps(a, b); }
    static V Minus(V a, V b) { return _mm_sub_ps(a, b); }
    static V Either(V a, V b) { return _mm_or_ps(a, b); }
    static void Store(float *p, V v) { _mm_store_ps(p, v); }
    static int Mask(V v) { return _mm_movemask_ps(v); }
};
#endif

// The facts of p[0 .. n) from what is known of p[0 .. i): the rest one value at a time.
template <class T> TValueFacts FactsFrom(const T *p, size_t i, size_t n, bool ascending, bool finite, T lo, T hi)
{
    for (; i < n; ++i) {
        const T v = p[i];
        ascending &= !(v < p[i - 1]); // as std::is_sorted: NaN never counts as a step down
        finite &= std::isfinite(v);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    TValueFacts f;
    f.ascending = ascending;
    f.finite = finite;
    f.lowest = lo;
    f.highest = hi;
    return f;
}

template <class T> TValueFacts FactsOfValues(const T *p, size_t n)
{
    if (n == 0) return TValueFacts();
    T lo = p[0], hi = p[0];
    bool ascending = true, finite = std::isfinite(p[0]);
    size_t i = 1;
#if defined(__SSE2__)
    // Two vectors a step in independent lanes, every lane starting from p[0]. MIN and MAX are
    // exactly "v < lo ? v : lo" and "v > hi ? v : hi" (a NaN v is passed over), so each lane
    // finds what the plain loop finds over its values; the lanes then fold the same way. Only
    // which of two equal zeros comes out may differ, and zero extremes are not relied on.
    using L = Lanes<T>;
    constexpr size_t w = L::width, step = 2 * w;
    if (n >= 2 * step + 1) {
        typename L::V lo0 = L::Fill(p[0]), lo1 = lo0, hi0 = lo0, hi1 = lo0;
        typename L::V down = L::Zero(), odd = L::Zero();
        const typename L::V zero = L::Zero();
        for (; i + step <= n; i += step) {
            const typename L::V a = L::Load(p + i), b = L::Load(p + i + w);
            lo0 = L::Min(a, lo0);
            lo1 = L::Min(b, lo1);
            hi0 = L::Max(a, hi0);
            hi1 = L::Max(b, hi1);
            // as std::is_sorted: NaN never counts as a step down
            down = L::Either(down, L::Either(L::Less(a, L::Load(p + i - 1)), L::Less(b, L::Load(p + i + w - 1))));
            // v - v is 0 for a finite v, NaN for an infinite or NaN one
            odd = L::Either(odd, L::Either(L::Unequal(L::Minus(a, a), zero), L::Unequal(L::Minus(b, b), zero)));
        }
        alignas(16) T l[step], h[step];
        L::Store(l, lo0);
        L::Store(l + w, lo1);
        L::Store(h, hi0);
        L::Store(h + w, hi1);
        for (size_t k = 0; k < step; ++k) {
            lo = l[k] < lo ? l[k] : lo;
            hi = h[k] > hi ? h[k] : hi;
        }
        ascending = L::Mask(down) == 0;
        finite = finite && L::Mask(odd) == 0;
    }
#endif
    return FactsFrom(p, i, n, ascending, finite, lo, hi);
}

#if SKYVANE_HAS_FMA_TARGET
// The same over doubles with four lanes a vector, where the processor has AVX2.
SKYVANE_FMA_TARGET TValueFacts FactsOfDoublesAvx2(const double *p, size_t n)
{
    double lo = p[0], hi = p[0];
    bool ascending = true, finite = std::isfinite(p[0]);
    size_t i = 1;
    __m256d lo0 = _mm256_set1_pd(p[0]), lo1 = lo0, hi0 = lo0, hi1 = lo0;
    __m256d down = _mm256_setzero_pd(), odd = down;
    const __m256d zero = _mm256_setzero_pd();
    for (; i + 8 <= n; i += 8) {
        const __m256d a = _mm256_loadu_pd(p + i), b = _mm256_loadu_pd(p + i + 4);
        lo0 = _mm256_min_pd(a, lo0);
        lo1 = _mm256_min_pd(b, lo1);
        hi0 = _mm256_max_pd(a, hi0);
        hi1 = _mm256_max_pd(b, hi1);
        down = _mm256_or_pd(down, _mm256_or_pd(_mm256_cmp_pd(a, _mm256_loadu_pd(p + i - 1), _CMP_LT_OQ),
                                               _mm256_cmp_pd(b, _mm256_loadu_pd(p + i + 3), _CMP_LT_OQ)));
        odd = _mm256_or_pd(odd, _mm256_or_pd(_mm256_cmp_pd(_mm256_sub_pd(a, a), zero, _CMP_NEQ_UQ),
                                             _mm256_cmp_pd(_mm256_sub_pd(b, b), zero, _CMP_NEQ_UQ)));
    }
    alignas(32) double l[8], h[8];
    _mm256_store_pd(l, lo0);
    _mm256_store_pd(l + 4, lo1);
    _mm256_store_pd(h, hi0);
    _mm256_store_pd(h + 4, hi1);
    for (size_t k = 0; k < 8; ++k) {
        lo = l[k] < lo ? l[k] : lo;
        hi = h[k] > hi ? h[k] : hi;
    }
    ascending = _mm256_movemask_pd(down) == 0;
    finite = finite && _mm256_movemask_pd(odd) == 0;
    return FactsFrom(p, i, n, ascending, finite, lo, hi);
}
#endif

} // namespace

TValueFacts TChartValueList::FactsOf(const double *p, size_t n)
{
#if SKYVANE_HAS_FMA_TARGET
    if (n >= 17 && CpuHasFma()) return FactsOfDoublesAvx2(p, n);
#endif
    return FactsOfValues(p, n);
}

TValueFacts TChartValueList::FactsOf(const float *p, size_t n) { return FactsOfValues(p, n); }

TValueFacts TChartValueList::FactsOf(const std::int16_t *hundredths, size_t n)
{
    // Whole numbers order as the values they stand for, and are never NaN.
    TValueFacts f;
    if (n == 0) return f;
    std::int16_t lo = hundredths[0], hi = lo;
    bool ascending = true;
    for (size_t i = 1; i < n; ++i) {
        const std::int16_t v = hundredths[i];
        ascending &= v >= hundredths[i - 1];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    f.ascending = ascending;
    f.lowest = sky::HundredthsValue(lo);
    f.highest = sky::HundredthsValue(hi);
    return f;
}

TValueFacts TChartValueList::FactsOfAscending(const double *p, size_t n)
{
    return n == 0 ? TValueFacts{} : FactsOfAscendingEnds(p[0], p[n - 1]);
}

TValueFacts TChartValueList::FactsOfAscendingEnds(double first, double last)
{
    TValueFacts f;
    // in order, an infinity can only be an end
    f.finite = std::isfinite(first) && std::isfinite(last);
    f.lowest = first;
    f.highest = last;
    return f;
}

void TChartValueList::CheckIndex(int i) const
{
    if (i < 0 || i >= Count()) RaiseListIndexError(i);
}

double TChartValueList::ValueAt(int i) const { return Value(i) * multiplier_; }

double TChartValueList::Value(int i) const
{
    CheckIndex(i);
    if (constant_) return constantValue_;
    if (hundredths_) return sky::HundredthsValue(store_->hundredths[offset_ + static_cast<size_t>(i)]);
    if (runs_) return runReader_[i]; // the run of the last read kept: reads in turn find theirs at once
    return single_ ? store_->singles[offset_ + static_cast<size_t>(i)] : store_->values[offset_ + static_cast<size_t>(i)];
}

void TChartValueList::SetValue(int i, double v)
{
    CheckIndex(i);
    Own()[static_cast<size_t>(i)] = v;
    Changed();
}

int TChartValueList::InsertOrderedMiddle(double v)
{
    const int n = Count();
    const bool wasAscending = ascending_ == 1 && (n == 0 || v >= Value(n - 1));
    std::vector<double> &values = Own();
    int at = n;
    if (order_ != loNone && n > 0) {
        int k = n - 1;
        if (order_ == loAscending) {
            if (!(v >= values[k])) {
                while (k >= 0 && v < values[k])
                    --k; // k: last value <= v, or -1
                at = k + 1;
            }
        } else if (!(v <= values[k])) {
            while (k >= 0 && v > values[k])
                --k; // k: last value >= v, or -1
            at = k + 1;
        }
    }
    if (at == n)
        values.push_back(v);
    else
        values.insert(values.begin() + at, v);
    Changed();
    if (wasAscending) ascending_ = 1; // appended in order: still ascending
    return at;
}

void TChartValueList::InsertValueAtSlow(int i, double v)
{
    if (i < 0 || i > Count()) RaiseListIndexError(i);
    std::vector<double> &values = Own();
    if (static_cast<size_t>(i) == values.size())
        values.push_back(v);
    else
        values.insert(values.begin() + i, v);
    Changed();
}

void TChartValueList::DeleteAt(int i)
{
    CheckIndex(i);
    std::vector<double> &values = Own();
    values.erase(values.begin() + i);
    Changed();
}

void TChartValueList::ClearAll()
{
    if (store_ && (constant_ || store_.use_count() > 1)) store_.reset(); // the others keep theirs
    if (store_) {
        store_->values.clear(); // the storage stays for the next fill (see the header)
        store_->singles.clear();
        store_->hundredths.clear();
        store_->runs.clear();
        store_->version = NextVersion();
    }
    spelled_.reset();
    offset_ = count_ = 0;
    constant_ = false;
    single_ = false;
    hundredths_ = false;
    runs_ = false;
    Touched();
    ascending_ = 1;
    finite_ = 1;
}

void TChartValueList::ReleaseMemory()
{
    if (Owned()) {
        store_->values.shrink_to_fit();
    } else if (count_ == 0) {
        store_.reset();
        single_ = hundredths_ = runs_ = false;
    } else if (single_ && store_.use_count() == 1) {
        store_->singles.shrink_to_fit();
    } else if (hundredths_ && store_.use_count() == 1) {
        store_->hundredths.shrink_to_fit();
    }
    spelled_.reset();
}

void TChartValueList::Recalc() const
{
    statsStale_ = false;
    const size_t n = count_;
    if (n == 0) {
        lowest_ = highest_ = 0;
        return;
    }
    const double m = multiplier_;
    if (constant_) {
        lowest_ = highest_ = constantValue_ * m;
        return;
    }
    const bool ends = std::isfinite(m) && IsAscending() && AllFinite();
    WithValues([&](const auto &p) {
        // A value below the lowest cannot be above the highest, so the two run independently; a
        // NaN compares false and is passed over (a leading NaN stays, as a single loop keeps it).
        double lo = p[0] * m, hi = lo;
        if (ends) {
            // ends of an ascending list; a negative multiplier turns it round
            const double last = p[n - 1] * m;
            lowest_ = std::min(lo, last);
            highest_ = std::max(lo, last);
            return;
        }
        for (size_t i = 1; i < n; ++i) {
            const double v = p[i] * m;
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        lowest_ = lo;
        highest_ = hi;
    });
}

void TChartValueList::RecalcSums() const
{
    sumsStale_ = false;
    const size_t n = count_;
    if (n == 0) {
        sum_ = sumAbs_ = 0;
        return;
    }
    const double m = multiplier_;
    WithValues([&](const auto &p) {
        double sum = p[0] * m, sumAbs = std::fabs(sum);
        for (size_t i = 1; i < n; ++i) {
            const double v = p[i] * m;
            sum += v;
            sumAbs += std::fabs(v);
        }
        sum_ = sum;
        sumAbs_ = sumAbs;
    });
}

void TChartValueList::TakeStatsFrom(const TChartValueList &copyOf)
{
    if (&copyOf == this || copyOf.multiplier_ != multiplier_ || copyOf.count_ != count_) return;
    if (!copyOf.statsStale_) {
        lowest_ = copyOf.lowest_;
        highest_ = copyOf.highest_;
        statsStale_ = false;
    }
    if (!copyOf.sumsStale_) {
        sum_ = copyOf.sum_;
        sumAbs_ = copyOf.sumAbs_;
        sumsStale_ = false;
    }
    if (copyOf.ascending_ >= 0) ascending_ = copyOf.ascending_;
    if (copyOf.finite_ >= 0) finite_ = copyOf.finite_;
}

double TChartValueList::Lowest() const
{
    if (statsStale_) Recalc();
    return lowest_;
}

double TChartValueList::Highest() const
{
    if (statsStale_) Recalc();
    return highest_;
}

double TChartValueList::Sum() const
{
    if (sumsStale_) RecalcSums();
    return sum_;
}

double TChartValueList::SumAbs() const
{
    if (sumsStale_) RecalcSums();
    return sumAbs_;
}

int TChartValueList::IndexOfValue(double v) const
{
    if (count_ == 0) return -1;
    if (constant_) return constantValue_ * multiplier_ == v ? 0 : -1;
    return WithValues([&](const auto &p) {
        for (int i = 0, n = Count(); i < n; ++i)
            if (p[i] * multiplier_ == v) return i;
        return -1;
    });
}

void TChartValueList::SortValues()
{
    if (order_ == loNone) return;
    if (owner_) {
        owner_->SortByList(*this);
        return;
    }
    std::vector<double> &values = Own();
    if (order_ == loAscending)
        std::sort(values.begin(), values.end());
    else
        std::sort(values.begin(), values.end(), [](double a, double b) { return a > b; });
    Changed();
}

void TChartValueList::CopyFrom(const TChartValueList &source)
{
    if (&source == this) return;
    order_ = source.order_;
    dateTime_ = source.dateTime_;
    if (multiplier_ != source.multiplier_) {
        multiplier_ = source.multiplier_;
        Touched();
    }
    valueSource_ = source.valueSource_;
}

bool TChartValueList::IsAscending() const
{
    if (ascending_ < 0)
        ascending_ = constant_ || WithValues([&](const auto &p) {
                         // as std::is_sorted: never a value below the one before
                         for (size_t i = 1; i < count_; ++i)
                             if (p[i] < p[i - 1]) return false;
                         return true;
                     })
                         ? 1
                         : 0;
    return ascending_ == 1;
}

bool TChartValueList::AllFinite() const
{
    if (finite_ < 0) {
        auto finite = [](const auto &p, size_t n) {
            bool all = true;
            for (size_t i = 0; i < n; ++i)
                all &= std::isfinite(p[i]); // no early exit: the loop vectorises
            return all;
        };
        const bool all = hundredths_ || (constant_ ? std::isfinite(constantValue_)
                                                   : WithValues([&](const auto &p) { return finite(p, count_); }));
        finite_ = all ? 1 : 0;
    }
    return finite_ == 1;
}
