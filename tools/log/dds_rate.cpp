#include "log/dds_rate.hpp"

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
    const std::optional<double> previous = last_elapsed_;
    last_elapsed_ = elapsed;
    if (!previous || elapsed <= *previous) {
        return std::nullopt;
    }
    return static_cast<double>(row.values.dds->delta) / (elapsed - *previous);
}

} // namespace logread
