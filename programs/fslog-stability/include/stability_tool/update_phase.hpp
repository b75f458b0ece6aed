// stability_tool: where the unit's once-a-second updates fall on the host's
// clock, from the steps the tuning word is seen to make.
//
// A step lies between the last reading that shows the old value and the
// first that shows the new one; its middle is the estimate of that update.
// The unit's second and the host's differ by some ppm, so the phase drifts:
// each step moves the estimate a sixteenth of the way to it (taken modulo
// the second, so it never jumps by one), which follows a drift of many ppm
// and averages out the rows' spacing.
#pragma once

#include <optional>

namespace stability_tool {

class update_phase {
public:
    static constexpr double update_period = 1;       // seconds between the unit's updates
    static constexpr double largest_step_span = 0.5; // a step located no better tells nothing

    // The value changed between a reading at `before` and one at `after`.
    void observe_step(double before, double after);
    // A time at which an update falls, near 0 (the first step seen, less
    // whole periods), and moving on as the phase drifts; the updates come
    // every update_period from it. 0 before any step is seen.
    double update_time() const { return estimate_.value_or(0); }

private:
    std::optional<double> estimate_;
};

} // namespace stability_tool
