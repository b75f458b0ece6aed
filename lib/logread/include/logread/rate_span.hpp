// logread: counts of the DDS 2 counter over the seconds they took.
#pragma once

#include <optional>

namespace logread {

// Counts over the seconds they took: one span between two readings, or
// the sum of many.
struct rate_span {
    double counts = 0;
    double seconds = 0;

    void add(const rate_span& other)
    {
        counts += other.counts;
        seconds += other.seconds;
    }
    // Counts per second; nothing over no time.
    std::optional<double> rate() const
    {
        return seconds > 0 ? std::optional(counts / seconds) : std::nullopt;
    }
};

} // namespace logread
