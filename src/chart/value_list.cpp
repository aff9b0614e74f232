#include "chart/value_list.h"

#include "chart/series.h"
#include "platform/error.h"

#include <algorithm>
#include <cmath>

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

void TChartValueList::CheckIndex(int i) const
{
    if (i < 0 || i >= Count()) RaiseListIndexError(i);
}

double TChartValueList::ValueAt(int i) const
{
    CheckIndex(i);
    return values_[i] * multiplier_;
}

double TChartValueList::Value(int i) const
{
    CheckIndex(i);
    return values_[i];
}

void TChartValueList::SetValue(int i, double v)
{
    CheckIndex(i);
    values_[i] = v;
    Touched();
}

int TChartValueList::InsertOrdered(double v)
{
    const bool wasAscending = ascending_ == 1 && (values_.empty() || v >= values_.back());
    Touched();
    if (wasAscending) ascending_ = 1; // appended in order: still ascending
    const int n = Count();
    if (order_ == loNone || n == 0) {
        values_.push_back(v);
        return n;
    }
    int k = n - 1;
    if (order_ == loAscending) {
        if (v >= values_[k]) {
            values_.push_back(v);
            return n;
        }
        while (k >= 0 && v < values_[k]) --k; // k: last value <= v, or -1
    } else {
        if (v <= values_[k]) {
            values_.push_back(v);
            return n;
        }
        while (k >= 0 && v > values_[k]) --k; // k: last value >= v, or -1
    }
    values_.insert(values_.begin() + (k + 1), v);
    return k + 1;
}

void TChartValueList::InsertValueAt(int i, double v)
{
    if (i < 0 || i > Count()) RaiseListIndexError(i);
    if (i == Count())
        values_.push_back(v);
    else
        values_.insert(values_.begin() + i, v);
    Touched();
}

void TChartValueList::DeleteAt(int i)
{
    CheckIndex(i);
    values_.erase(values_.begin() + i);
    Touched();
}

void TChartValueList::ClearAll()
{
    values_.clear(); // the storage stays for the next fill (see the header)
    Touched();
    ascending_ = 1;
    finite_ = 1;
}

void TChartValueList::ReleaseMemory()
{
    values_.shrink_to_fit();
}

void TChartValueList::Recalc() const
{
    statsStale_ = false;
    const size_t n = values_.size();
    if (n == 0) {
        lowest_ = highest_ = 0;
        return;
    }
    const double m = multiplier_;
    const double *p = values_.data();
    // A value below the lowest cannot be above the highest, so the two run independently; a NaN
    // compares false and is passed over (a leading NaN stays, as a single loop keeps it).
    double lo = p[0] * m, hi = lo;
    if (std::isfinite(m) && IsAscending() && AllFinite()) {
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
}

void TChartValueList::RecalcSums() const
{
    sumsStale_ = false;
    const size_t n = values_.size();
    if (n == 0) {
        sum_ = sumAbs_ = 0;
        return;
    }
    const double m = multiplier_;
    const double *p = values_.data();
    double sum = p[0] * m, sumAbs = std::fabs(sum);
    for (size_t i = 1; i < n; ++i) {
        const double v = p[i] * m;
        sum += v;
        sumAbs += std::fabs(v);
    }
    sum_ = sum;
    sumAbs_ = sumAbs;
}

void TChartValueList::TakeStatsFrom(const TChartValueList &copyOf)
{
    if (&copyOf == this || copyOf.multiplier_ != multiplier_ || copyOf.values_.size() != values_.size()) return;
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
    for (int i = 0, n = Count(); i < n; ++i)
        if (values_[i] * multiplier_ == v) return i;
    return -1;
}

void TChartValueList::SortValues()
{
    if (order_ == loNone) return;
    if (owner_) {
        owner_->SortByList(*this);
        return;
    }
    if (order_ == loAscending)
        std::sort(values_.begin(), values_.end());
    else
        std::sort(values_.begin(), values_.end(), [](double a, double b) { return a > b; });
    Touched();
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
    if (ascending_ < 0) ascending_ = std::is_sorted(values_.begin(), values_.end()) ? 1 : 0;
    return ascending_ == 1;
}

bool TChartValueList::AllFinite() const
{
    if (finite_ < 0) {
        bool all = true;
        for (double v : values_) all &= std::isfinite(v); // no early exit: the loop vectorises
        finite_ = all ? 1 : 0;
    }
    return finite_ == 1;
}
