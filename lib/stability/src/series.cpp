#include "stability/series.hpp"

#include "integrate.hpp"

#include <cmath>
#include <limits>

namespace stability {

std::vector<double> phase_from_frequency(std::span<const double> frequency, double tau0)
{
    auto phase = integrate(frequency, tau0, 0);
    for (std::size_t k = 0; k < frequency.size(); ++k)
        if (!std::isfinite(frequency[k]))
            phase[k + 1] = std::numeric_limits<double>::quiet_NaN();
    return phase;
}

std::vector<double> frequency_from_phase(std::span<const double> phase, double tau0)
{
    std::vector<double> frequency;
    for (std::size_t k = 0; k + 1 < phase.size(); ++k)
        frequency.push_back((phase[k + 1] - phase[k]) / tau0);
    return frequency;
}

void append_run(series& data, std::span<const double> run)
{
    if (!data.values.empty())
        data.values.push_back(std::numeric_limits<double>::quiet_NaN());
    data.values.insert(data.values.end(), run.begin(), run.end());
}

} // namespace stability
