// logread: the recent past of a stream of timed values, kept as a ring of
// one bin per second (the live view's last hour of a series, the live DDS 2
// rate's last 10 s), so that memory stays the same however many values a
// second come and however long the log runs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace logread {

// `Bin` gathers a second's values, and `merge` takes another bin's into it.
template <typename Bin, void (Bin::*merge)(const Bin&)> class per_second_bins {
public:
    // Keeps the last `seconds` seconds. A value up to `late` seconds before
    // the newest one's second goes into that second; one from further back
    // is on another clock (a new run timed only by its elapsed seconds), and
    // what the bins held belongs to the old one: they start afresh.
    per_second_bins(std::size_t seconds, std::size_t late)
        : bins_(seconds), bin_second_(seconds, no_second), late_(static_cast<std::int64_t>(late))
    {
    }

    // The bin of a value at `time`, in seconds.
    Bin& at(double time)
    {
        std::int64_t second = second_of(time);
        if (newest_ && second < *newest_ - late_) {
            std::fill(bin_second_.begin(), bin_second_.end(), no_second);
            newest_.reset();
        }
        second = std::max(second, newest_.value_or(second));
        newest_ = second;
        const auto size = static_cast<std::int64_t>(bins_.size());
        const auto slot = static_cast<std::size_t>((second % size + size) % size);
        if (bin_second_[slot] != second) {
            bins_[slot] = Bin{};
            bin_second_[slot] = second;
        }
        return bins_[slot];
    }

    // The bins of the `seconds` seconds (at most those kept) up to and
    // including the one of `now`, merged.
    Bin last(double now, std::size_t seconds) const
    {
        const std::int64_t end = second_of(now);
        const std::int64_t begin = end - static_cast<std::int64_t>(std::min(seconds, bins_.size()));
        Bin merged;
        for (std::size_t slot = 0; slot < bins_.size(); ++slot) {
            if (bin_second_[slot] > begin && bin_second_[slot] <= end) {
                (merged.*merge)(bins_[slot]);
            }
        }
        return merged;
    }

    // The newest value's second; nothing before the first value.
    std::optional<std::int64_t> newest() const { return newest_; }

private:
    static constexpr std::int64_t no_second = std::numeric_limits<std::int64_t>::min();

    static std::int64_t second_of(double time) { return static_cast<std::int64_t>(std::floor(time)); }

    std::vector<Bin> bins_;
    std::vector<std::int64_t> bin_second_; // the second each bin holds now
    std::int64_t late_;
    std::optional<std::int64_t> newest_;
};

} // namespace logread
