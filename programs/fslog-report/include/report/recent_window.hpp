// A series' values over the last hour or so, kept as one bin per second so
// that its memory stays the same however long the log runs.
#pragma once

#include "logread/running_stats.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace report {

class recent_window {
public:
    // Holds the last `seconds` seconds.
    explicit recent_window(std::size_t seconds);

    // A value at `time`, in seconds. A value from a little before the newest
    // one's second goes into that second; one from further back than the
    // window starts the window afresh.
    void add(double time, double value);
    // The values of the `seconds` seconds (at most the window's) up to and
    // including the bin of `now`.
    logread::running_stats last(double now, std::size_t seconds) const;

private:
    std::vector<logread::running_stats> bins_;
    std::vector<std::int64_t> bin_second_; // the second each bin holds now
    std::optional<std::int64_t> newest_;   // the newest value's second
};

} // namespace report
