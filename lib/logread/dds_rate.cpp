#include "logread/dds_rate.hpp"

#include <utility>

namespace logread {

std::optional<double> dds_rate::take(const row_event& row)
{
    if (row.run != run_) {
        run_ = row.run;
        last_elapsed_.reset();
    }
    if (!row.values.dds) {
        return std::nullopt;
    }
    const double elapsed = row.values.elapsed;
    // Without the ADC group, the DDS query ran after a reset of unknown length.
    const bool timed = row.values.adc.has_value();
    const std::optional<double> previous =
        std::exchange(last_elapsed_, timed ? std::optional(elapsed) : std::nullopt);
    if (!timed || !previous || elapsed <= *previous) {
        return std::nullopt;
    }
    return static_cast<double>(row.values.dds->delta) / (elapsed - *previous);
}

} // namespace logread
