// stability_tool: values put into their bins of tau0 seconds, one after
// the other in time; the bins nothing was put into are gaps (NaN).
#pragma once

#include "stability_tool/even_series.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace stability_tool {

class bin_timeline {
public:
    bin_timeline(double tau0, bool keep_readings);

    // Puts the value of bin `bin` (seconds / tau0 from any origin, after the
    // last bin put), which starts at `start` seconds since the epoch, from
    // `readings` readings. Its index in the series.
    std::size_t put(std::int64_t bin, double start, double value, std::size_t readings);
    // The next value put leaves at least one gap before it, so that no term
    // spans the two sides: a new run, a new segment.
    void break_here() { break_pending_ = true; }

    std::size_t size() const { return series_.data.values.size(); }
    std::span<double> values_from(std::size_t index) { return std::span(series_.data.values).subspan(index); }
    even_series& series() { return series_; }

private:
    even_series series_;
    bool keep_readings_;
    std::optional<std::int64_t> first_bin_;
    std::int64_t shift_ = 0; // bins added by breaks where no time passed
    bool break_pending_ = false;
};

} // namespace stability_tool
