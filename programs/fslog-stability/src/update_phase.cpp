#include "stability_tool/update_phase.hpp"

#include <cmath>

namespace stability_tool {

void update_phase::observe_step(double before, double after)
{
    if (after - before > largest_step_span || after <= before) {
        return;
    }
    const double step = (before + after) / 2;
    if (!estimate_) {
        estimate_ = step - update_period * std::floor(step / update_period);
        return;
    }
    double offset = step - *estimate_;
    offset -= update_period * std::round(offset / update_period);
    constexpr double gain = 1.0 / 16;
    *estimate_ += gain * offset;
}

} // namespace stability_tool
