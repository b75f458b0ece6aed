#include "stability/factors.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace stability {

std::size_t default_largest_factor(std::size_t values)
{
    return std::max<std::size_t>(1, values / 4);
}

std::vector<std::size_t> octave_factors(std::size_t largest)
{
    std::vector<std::size_t> factors;
    for (std::size_t m = 1; m <= largest; m *= 2)
        factors.push_back(m);
    return factors;
}

std::vector<std::size_t> decade_factors(std::size_t largest)
{
    std::vector<std::size_t> factors;
    for (std::size_t decade = 1; decade <= largest; decade *= 10)
        for (std::size_t step : std::array<std::size_t, 3>{1, 2, 4})
            if (step * decade <= largest)
                factors.push_back(step * decade);
    return factors;
}

std::vector<std::size_t> factors_for_taus(std::span<const double> taus, double tau0)
{
    std::vector<std::size_t> factors;
    for (double tau : taus)
        factors.push_back(static_cast<std::size_t>(std::max(1.0, std::round(tau / tau0))));
    std::sort(factors.begin(), factors.end());
    factors.erase(std::unique(factors.begin(), factors.end()), factors.end());
    return factors;
}

} // namespace stability
