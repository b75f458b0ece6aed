#include "plot/bins.hpp"

#include <algorithm>
#include <cmath>

namespace plot {

namespace {

constexpr std::size_t fine_per_column = 4;

} // namespace

void bin::merge(const bin& other)
{
    rows += other.rows;
    for (std::size_t i = 0; i < series.size(); ++i) {
        series[i].merge(other.series[i]);
    }
    for (std::size_t i = 0; i < faults.size(); ++i) {
        faults[i] += other.faults[i];
    }
    dds2.add(other.dds2);
    dds2_jumps += other.dds2_jumps;
    pauses += other.pauses;
}

std::optional<column> column_of(const bin& at, logread::series which)
{
    const logread::running_stats& values = at.series[which];
    if (which != logread::dds2_rate) {
        return values.empty() ? std::nullopt
                              : std::optional(column{values.min(), values.max(), values.mean()});
    }
    const std::optional<double> rate = at.dds2.rate();
    if (!rate) {
        return std::nullopt;
    }
    return values.empty() ? column{*rate, *rate, *rate}
                          : column{std::min(values.min(), *rate), std::max(values.max(), *rate), *rate};
}

bin_set::bin_set(std::size_t columns, double min_width, std::optional<double> from, std::optional<double> to)
    : columns_(std::max<std::size_t>(columns, 1)), min_width_(min_width), from_(from), to_(to),
      fine_(columns_ * fine_per_column)
{
    if (from_ && to_) {
        origin_ = *from_;
        fine_width_ = (*to_ - *from_) / static_cast<double>(fine_.size());
    } else {
        origin_ = from_.value_or(0); // without `from`, the first sample sets it
        fine_width_ = min_width_ / static_cast<double>(fine_per_column);
    }
}

// A column's width as the bins stand: runs that begin within one column of
// the run before them are marked as one, so that the marks, however many
// restarts the log holds, are at most about two per column.
double bin_set::column_width() const
{
    return fine_width_ * static_cast<double>(fine_per_column);
}

// Pairs neighbouring fine bins until `x` falls within them.
void bin_set::widen_to_hold(double x)
{
    while (x >= origin_ + fine_width_ * static_cast<double>(fine_.size())) {
        const std::size_t half = fine_.size() / 2;
        for (std::size_t i = 0; i < half; ++i) {
            bin pair = fine_[2 * i];
            pair.merge(fine_[2 * i + 1]);
            fine_[i] = pair;
        }
        std::fill(fine_.begin() + static_cast<std::ptrdiff_t>(half), fine_.end(), bin{});
        fine_width_ *= 2;
    }
}

void bin_set::add(const sample& row)
{
    if ((from_ && row.x < *from_) || (to_ && row.x > *to_)) {
        return;
    }
    if (taken_ == 0 && !from_) {
        origin_ = row.x;
    }
    if (row.x < origin_) {
        ++before_first_;
        return;
    }
    widen_to_hold(row.x);
    const auto index = std::min(static_cast<std::size_t>((row.x - origin_) / fine_width_), fine_.size() - 1);
    bin& into = fine_[index];
    ++into.rows;
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        if (row.values[i]) {
            into.series[i].add(*row.values[i]);
        }
    }
    for (std::size_t i = 0; i < row.faults.size(); ++i) {
        into.faults[i] += row.faults[i] ? 1U : 0U;
    }
    into.dds2.add(row.dds2.settled.value_or(logread::rate_span{}));
    into.dds2_jumps += row.dds2.jump ? 1U : 0U;
    into.pauses += row.paused_s > 0 ? 1U : 0U;
    if (taken_ == 0 || (row.run != last_run_ && row.x - runs_.back().first >= column_width())) {
        runs_.push_back({row.x, row.x});
    }
    last_run_ = row.run;
    runs_.back().last = std::max(runs_.back().last, row.x);
    last_x_ = std::max(taken_ == 0 ? row.x : last_x_, row.x);
    ++taken_;
}

binned bin_set::finish() const
{
    binned result;
    if (taken_ == 0) {
        return result;
    }
    result.first = from_.value_or(origin_);
    const double last = std::max(to_.value_or(last_x_), result.first + min_width_);
    const double span = last - result.first;
    const auto count = std::clamp<std::size_t>(static_cast<std::size_t>(span / min_width_), 1, columns_);
    result.width = span / static_cast<double>(count);
    result.bins.resize(count);
    result.runs = runs_;
    for (std::size_t i = 0; i < fine_.size(); ++i) {
        if (fine_[i].rows == 0) {
            continue;
        }
        const double middle = origin_ + (static_cast<double>(i) + 0.5) * fine_width_;
        const double place = std::floor((middle - result.first) / result.width);
        const auto index = static_cast<std::size_t>(std::clamp(place, 0.0, static_cast<double>(count - 1)));
        result.bins[index].merge(fine_[i]);
    }
    return result;
}

} // namespace plot
