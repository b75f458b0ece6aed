// stability: frequency summed into phase, the one rule for the public
// conversion and for the phase the statistics work on.
#pragma once

#include <cmath>
#include <span>
#include <vector>

namespace stability {

// x_0 = 0, x_{k+1} = x_k + (y_k - offset)·tau0, a missing y_k counting as
// offset (the phase after it goes on from x_k).
inline std::vector<double> integrate(std::span<const double> frequency, double tau0, double offset)
{
    std::vector<double> phase(frequency.size() + 1);
    for (std::size_t k = 0; k < frequency.size(); ++k)
        phase[k + 1] = phase[k] + (std::isfinite(frequency[k]) ? (frequency[k] - offset) * tau0 : 0);
    return phase;
}

} // namespace stability
