#pragma once
// One column of numbers of a series (its x or y values), kept in contiguous storage, with
// ordered insertion, lazily cached statistics and a read multiplier.
//
// The storage can be shared: a copy of a list (or of a run of it) refers to the same values
// until one of the lists changes, and then that list takes its own copy first. A list can also
// hold n copies of one value as that one value, or its values in single precision (half the
// memory, for levels that are drawn but never changed one by one), as whole hundredths (a
// quarter, exact for levels read from two-decimal text) or as runs of frequencies (a sweep's
// hops, a few hundred numbers for millions of bins). Either way every list reads as its own
// values.
#include "platform/frequency_runs.h"
#include "platform/hundredths.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TChartSeries;

enum TChartListOrder { loNone, loAscending, loDescending };

// Reads stored values by index whatever their form: doubles, whole hundredths (see
// TChartValueList::SwapHundredths), one value held n times, or runs of frequencies (SwapRuns),
// read as the doubles they stand for.
struct TStoredValues {
    const double *doubles = nullptr;
    const std::int16_t *hundredths = nullptr; // where doubles is null
    sky::FrequencyRunReader runs;             // where both are null and the value is not constant
    bool constant = false;
    double constantValue = 0;
    double operator[](std::ptrdiff_t i) const
    {
        if (doubles) return doubles[i];
        if (hundredths) return sky::HundredthsValue(hundredths[i]);
        return constant ? constantValue : runs[i];
    }
};

// What is known of a run of stored values where they are made (another thread, say), so that a
// list taking them over needs no pass of its own before drawing: exactly what IsAscending,
// AllFinite and the extremes would find.
struct TValueFacts {
    bool ascending = true;
    bool finite = true;
    double lowest = 0, highest = 0; // of the stored values; NaN passed over as Recalc does
};

class TChartValueList {
public:
    // Registers itself in the owner's list of value lists (when there is an owner).
    TChartValueList(TChartSeries *owner, const QString &name);
    TChartValueList(const TChartValueList &) = delete;
    TChartValueList &operator=(const TChartValueList &) = delete;

    TChartSeries *Owner() const { return owner_; }

    // Published settings.
    bool DateTime() const { return dateTime_; }
    void SetDateTime(bool v);                 // a change requests a repaint
    const QString &Name() const { return name_; }
    void SetName(const QString &v) { name_ = v; }
    double Multiplier() const { return multiplier_; }
    void SetMultiplier(double v);             // a change: stats stale, linked series recompute, repaint
    TChartListOrder Order() const { return order_; }
    void SetOrder(TChartListOrder v) { order_ = v; }
    const QString &ValueSource() const { return valueSource_; }
    void SetValueSource(const QString &v) { valueSource_ = v; }

    int Count() const { return static_cast<int>(count_); }
    // Values the list's own storage has room for (0 while it shares another list's values).
    size_t Capacity() const { return Owned() ? store_->values.capacity() : 0; }
    // Whether the list holds its values in single precision (see SwapSingles).
    bool IsSingle() const { return single_; }
    // Whether the list holds its values as whole hundredths (see SwapHundredths).
    bool IsHundredths() const { return hundredths_; }
    // Whether the list holds its values as runs of frequencies (see SwapRuns).
    bool IsRuns() const { return runs_; }
    // Whether Data() has spelled a compact form out (memory the compact form was to save),
    // until the next change.
    bool SpelledOut() const { return spelled_ != nullptr; }
    void Reserve(int n)
    {
        if (n > 0) Own().reserve(static_cast<size_t>(n));
    }

    // Stored value x Multiplier. Raises the list's out-of-range error outside 0..Count()-1.
    double ValueAt(int i) const;
    // Stored (un-multiplied) value, checked like ValueAt.
    double Value(int i) const;
    void SetValue(int i, double v);
    // The stored values, for loops that must not pay a check per value. A list holding one
    // value n times, single-precision values, hundredths or runs spells them out here first,
    // which costs the memory the compact form saves (see IsConstant, Singles, Hundredths and
    // IsRuns): loops over lists that may hold a compact form read it where it is set, or Stored().
    const double *Data() const;
    // The values of a list held in single precision (see SwapSingles), else null.
    const float *Singles() const { return single_ ? store_->singles.data() + offset_ : nullptr; }
    // The values of a list held as whole hundredths (see SwapHundredths), else null.
    const std::int16_t *Hundredths() const { return hundredths_ ? store_->hundredths.data() + offset_ : nullptr; }
    // The stored values by index without spelling a compact form out (single precision as Data
    // gives it).
    TStoredValues Stored() const
    {
        if (hundredths_) return {nullptr, Hundredths(), {}, false, 0};
        if (runs_) return {nullptr, nullptr, runReader_, false, 0};
        if (constant_) return {nullptr, nullptr, {}, true, constantValue_};
        return {Data(), nullptr, {}, false, 0};
    }
    // The stored values as doubles, without spelling them out in the list.
    std::vector<double> Copy() const;

    // Refers to `count` values of `source` from index `from` on (stored values, not multiplied),
    // replacing this list's values, without copying them; statistics known for all of source
    // come along. The settings (Order, Multiplier...) stay this list's own.
    void ShareValues(const TChartValueList &source, int from, int count);
    // Replaces the values by `count` copies of v, held as one number.
    void SetConstant(double v, int count);
    // Whether the list holds one value n times without spelling it out (then ConstantValue is
    // that stored value).
    bool IsConstant() const { return constant_; }
    double ConstantValue() const { return constantValue_; }
    // Whether this list's values are those of `other`'s storage (shared, not copied).
    bool SharesStorageWith(const TChartValueList &other) const { return store_ && store_ == other.store_; }
    // Identifies the stored values a list reads (with ContentOffset): equal for two lists
    // reading the same storage, and never seen again once it changes. 0 for a list without
    // stored values or holding one value n times.
    std::uint64_t ContentKey() const { return store_ && !constant_ ? store_->version : 0; }
    size_t ContentOffset() const { return offset_; }

    // Value the next add inserts (see TChartSeries::AddPoint).
    double PendingValue() const { return pending_; }
    void SetPendingValue(double v) { pending_ = v; }
    void ClearPending() { pending_ = 0; }

    // Inserts v by Order and returns its index. Ascending data always appends; equal values
    // keep insertion order.
    int InsertOrdered(double v)
    {
        // the common case, a value appended to storage of the list's own, without a call
        if (Owned()) {
            std::vector<double> &values = store_->values;
            const size_t n = values.size();
            if (n > 0 && order_ != loNone && !(order_ == loAscending ? v >= values.back() : v <= values.back()))
                return InsertOrderedMiddle(v);
            const bool stillAscending = ascending_ == 1 && (n == 0 || v >= values.back());
            values.push_back(v);
            Changed();
            if (stillAscending) ascending_ = 1;
            return static_cast<int>(n);
        }
        return InsertOrderedMiddle(v);
    }
    // Inserts v at index i (0..Count()), whatever Order says.
    void InsertValueAt(int i, double v)
    {
        if (Owned() && static_cast<size_t>(i) == count_) {
            store_->values.push_back(v);
            Changed();
            return;
        }
        InsertValueAtSlow(i, v);
    }
    // Exchanges the storage with `v` (the caller keeps the order); `ascending` tells that the new
    // values are known to be in ascending order. While the storage is shared, v comes back
    // empty instead.
    void SwapValues(std::vector<double> &v, bool ascending = false);
    // The same, with the facts of the new values (see FactsOf) taken for known.
    void SwapValues(std::vector<double> &v, const TValueFacts &facts);
    // Takes the storage of `v` as the list's values in single precision, its facts taken for
    // known; v comes back holding reusable storage (or empty). Any change of a value in place
    // turns the list back into doubles first.
    void SwapSingles(std::vector<float> &v, const TValueFacts &facts);
    // Takes single-precision values out into v (the list is emptied): the list's own storage
    // where it has it, else a converted copy.
    void TakeSingles(std::vector<float> &v);
    // Takes the storage of `v` as the list's values held as whole hundredths (value h / 100.0,
    // see platform/hundredths.h), their facts taken for known; v comes back holding reusable
    // storage (or empty). Any change of a value in place turns the list into doubles first.
    void SwapHundredths(std::vector<std::int16_t> &v, const TValueFacts &facts);
    // Takes `runs` (covering `points` values, each with `offset` added, see
    // platform/frequency_runs.h) as the list's values, their facts taken for known; runs comes
    // back holding reusable storage. Any change of a value in place turns the list into doubles.
    void SwapRuns(std::vector<sky::FrequencyRun> &runs, size_t points, double offset, const TValueFacts &facts);
    // The facts of n stored values: one pass, callable from any thread.
    static TValueFacts FactsOf(const double *p, size_t n);
    static TValueFacts FactsOf(const float *p, size_t n);
    static TValueFacts FactsOf(const std::int16_t *hundredths, size_t n);
    // The same for values known to never fall and to hold no NaN, from their ends alone.
    static TValueFacts FactsOfAscending(const double *p, size_t n);
    // The same from the two ends of such values (at least one).
    static TValueFacts FactsOfAscendingEnds(double first, double last);
    // The facts of this list's stored values, from what it already knows where it can.
    TValueFacts Facts() const;
    // Appends n values at the end, whatever Order says (the caller keeps the order); `ascending`
    // tells that the list is known to be ascending afterwards.
    void AppendValues(const double *v, size_t n, bool ascending = false)
    {
        std::vector<double> &own = Own();
        own.insert(own.end(), v, v + n);
        Changed();
        if (ascending) ascending_ = 1;
    }
    // Whether the stored values never decrease; remembered until the next change.
    bool IsAscending() const;
    // Whether every stored value is finite (no NaN, no infinity); remembered until the next change.
    bool AllFinite() const;
    void DeleteAt(int i);
    // Removes every value. The storage is kept for the next fill: a series refilled every sweep
    // then reuses its buffers instead of faulting fresh memory in for each sweep (with a million
    // points that costs more than the fill itself).
    void ClearAll();
    // Gives unused storage back (all of it when the list is empty).
    void ReleaseMemory();
    // Exchanges two values (no check).
    void Exchange(int a, int b)
    {
        std::vector<double> &own = Own();
        std::swap(own[static_cast<size_t>(a)], own[static_cast<size_t>(b)]);
        Changed();
    }

    // Statistics of the multiplied values, recomputed when stale; all 0 for an empty list. The
    // extremes of an ascending list of finite values are its ends; the sums are computed only
    // when one of them is read.
    double Lowest() const;
    double Highest() const;
    double Sum() const;
    double SumAbs() const;
    bool StatsStale() const { return statsStale_; }
    // Takes over the other list's cached statistics when it holds the same values with the same
    // multiplier (a copy of it), so that they are not computed again.
    void TakeStatsFrom(const TChartValueList &copyOf);

    // First index whose (multiplied) value equals v exactly, -1 if none.
    int IndexOfValue(double v) const;

    // Sorts the owner's points by this list when Order is not loNone.
    void SortValues();

    // Copies Order, DateTime, Multiplier and ValueSource (not the values).
    void CopyFrom(const TChartValueList &source);

private:
    // Shared storage of values: `version` changes with every change made in place, and a fresh
    // store gets a number never used before.
    struct Store {
        std::vector<double> values;
        std::vector<float> singles; // the values instead, for a list in single precision
        std::vector<std::int16_t> hundredths; // or as whole hundredths
        std::vector<sky::FrequencyRun> runs;  // or as runs of frequencies, of runPoints values
        size_t runPoints = 0;
        double runOffset = 0;
        std::uint64_t version = 0;
    };
    static std::uint64_t NextVersion() { return ++lastVersion_; }
    inline static std::uint64_t lastVersion_ = 0; // window thread only, as every chart object
    int InsertOrderedMiddle(double v);
    void InsertValueAtSlow(int i, double v);

    // Whether the storage is this list's alone and holds exactly its values.
    bool Owned() const
    {
        return store_ && !constant_ && !single_ && !hundredths_ && !runs_ && store_.use_count() == 1 && offset_ == 0 &&
               count_ == store_->values.size();
    }
    // This list's own vector of its values, copied out first where they are shared or held as
    // one number. Call Changed after changing it.
    std::vector<double> &Own();
    // After a change through Own: count, version and cached figures.
    void Changed()
    {
        count_ = store_->values.size();
        store_->version = NextVersion();
        Touched();
    }
    void Touched()
    {
        statsStale_ = true;
        sumsStale_ = true;
        ascending_ = -1;
        finite_ = -1;
    }
    void CheckIndex(int i) const;
    // Whether the values are held in a form other than doubles of the list's own storage.
    bool Compact() const { return constant_ || single_ || hundredths_ || runs_; }
    // The values of a list in a compact form, spelled out into out.
    void SpellOut(std::vector<double> &out) const;
    // A reader of this list's runs, for a store of runs just taken or shared.
    void NewRunReader()
    {
        runReader_ = sky::FrequencyRunReader(store_->runs.data(), store_->runs.size(), store_->runPoints,
                                             store_->runOffset, offset_);
    }
    // The compact forms a list can hold its values in instead of doubles.
    enum class Form { Singles, Hundredths, Runs };
    // The store, of this list's own, emptied for values of `form` (which are swapped into it).
    Store &OwnStoreFor(Form form);
    // After values of `form` were swapped in: their count, with their facts taken for known.
    void Took(Form form, size_t count, const TValueFacts &facts);
    // Takes what FactsOf found of the values just stored.
    void TakeFacts(const TValueFacts &facts);
    // f(p) with p the stored values (double, float, or TStoredValues over hundredths or runs),
    // without spelling out a compact form.
    template <class F> decltype(auto) WithValues(F &&f) const
    {
        if (single_) return f(Singles());
        if (hundredths_ || runs_) return f(Stored());
        return f(Data());
    }
    void Recalc() const;
    void RecalcSums() const;

    TChartSeries *owner_;
    QString name_;
    bool dateTime_ = false;
    double multiplier_ = 1.0;
    TChartListOrder order_ = loNone;
    QString valueSource_;
    std::shared_ptr<Store> store_;  // none until values arrive
    size_t offset_ = 0, count_ = 0; // the run of store_ this list reads
    bool constant_ = false;         // count_ copies of constantValue_, store_ unused
    bool single_ = false;           // the values are store_->singles
    bool hundredths_ = false;       // the values are store_->hundredths
    bool runs_ = false;             // the values are store_->runs
    mutable sky::FrequencyRunReader runReader_; // while runs_: reads them, keeping the run of the last read
    double constantValue_ = 0;
    mutable std::shared_ptr<Store> spelled_; // a constant list spelled out for Data()
    double pending_ = 0;

    mutable bool statsStale_ = true; // the extremes
    mutable bool sumsStale_ = true;
    mutable signed char ascending_ = 1; // 1 yes, 0 no, -1 not known
    mutable signed char finite_ = 1;    // the same for AllFinite
    mutable double lowest_ = 0, highest_ = 0, sum_ = 0, sumAbs_ = 0;
};

// The error a value list raises for an index out of range.
[[noreturn]] void RaiseListIndexError(int index);
