// stability: means over the known values, gaps left out.
#pragma once

#include <cmath>
#include <span>

namespace stability {

// The mean of f(v) over the finite values v; 0 when there are none.
template <class Function> double finite_mean(std::span<const double> values, const Function& f)
{
    double sum = 0, count = 0;
    for (double value : values)
        if (std::isfinite(value)) {
            sum += f(value);
            ++count;
        }
    return count == 0 ? 0 : sum / count;
}

} // namespace stability
