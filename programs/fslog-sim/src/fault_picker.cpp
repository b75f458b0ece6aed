#include "sim/fault_picker.hpp"

#include "sim/draws.hpp"

#include <numeric>

namespace sim {

namespace {

// Keeps the fault draws apart from the readings' noise, which the same seed
// drives: changing the fault chances leaves the readings as they were.
constexpr std::uint64_t fault_stream = 0x9E3779B97F4A7C15;

} // namespace

fault_picker::fault_picker(const fault_rates& rates, std::uint64_t seed)
    : rates_(rates), seed_(seed), random_(seed ^ fault_stream)
{
}

fault fault_picker::pick()
{
    const double draw = unit_interval(random_);
    double below = 0.0;
    for (std::size_t i = 0; i < rates_.size(); ++i) {
        below += rates_[i];
        if (draw < below) {
            ++injected_[i];
            return fault_kinds[i];
        }
    }
    return fault::none;
}

std::string fault_picker::summary(std::uint64_t commands) const
{
    std::string kinds;
    for (std::size_t i = 0; i < injected_.size(); ++i) {
        kinds += (i == 0 ? "" : ", ") + std::string(fault_name(fault_kinds[i])) + " " +
                 std::to_string(injected_[i]);
    }
    const std::uint64_t total = std::accumulate(injected_.begin(), injected_.end(), std::uint64_t{0});
    return "fslog-sim: " + std::to_string(commands) + " commands, " + std::to_string(total) +
           " faults injected (" + kinds + "), seed " + std::to_string(seed_);
}

} // namespace sim
