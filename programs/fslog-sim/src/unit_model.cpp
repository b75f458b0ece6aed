#include "sim/unit_model.hpp"

#include "sim/draws.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {

namespace {

constexpr double vcxo_per_temperature_count = 0.5;
constexpr std::int64_t wander_step = 2;

std::uint16_t to_adc_word(double value)
{
    constexpr double adc_full_scale = 4095.0;
    return static_cast<std::uint16_t>(std::lround(std::clamp(value, 0.0, adc_full_scale)));
}

} // namespace

double temperature_drift(double seconds)
{
    return temperature_swing * std::sin(2.0 * std::numbers::pi * seconds / temperature_period);
}

unit_model::unit_model(std::uint64_t seed, const std::optional<oscillator_settings>& steered,
                       std::FILE* truth)
    : random_(seed)
{
    if (steered) {
        oscillator_.emplace(*steered, seed, truth);
    }
}

double unit_model::noise(double spread)
{
    return (2.0 * unit_interval(random_) - 1.0) * spread;
}

unit_state unit_model::at(double seconds)
{
    unit_state state;
    const double drift = temperature_drift(seconds);
    const std::array<double, 4> level{adc_nominal[0], adc_nominal[1],
                                      adc_nominal[temperature_channel] + drift,
                                      adc_nominal[vcxo_channel] + vcxo_per_temperature_count * drift};
    for (std::size_t channel = 0; channel < level.size(); ++channel) {
        state.adc[channel] = to_adc_word(level[channel] + noise(adc_noise[channel]));
    }
    state.dds1 = dds1_word;
    const std::int64_t step = std::llround(noise(static_cast<double>(wander_step)));
    wander_ = std::clamp<std::int64_t>(wander_ + step, -dds2_wander_limit, dds2_wander_limit);
    const auto counted = static_cast<std::int64_t>(std::llround(seconds * dds2_counts_per_second));
    // The counter wraps at 2^32 like the unit's 32-bit register.
    state.dds2 = static_cast<std::uint32_t>(static_cast<std::uint64_t>(dds2_start + counted + wander_));
    // The unit's control loop trims the oscillator against the vcxo's level,
    // not against each noisy reading.
    state.tuning =
        tuning_per_vcxo_count * (static_cast<int>(std::lround(level[vcxo_channel])) - tuning_zero_vcxo);
    state.uptime_seconds = static_cast<std::uint16_t>(static_cast<std::uint64_t>(seconds));
    if (oscillator_) {
        steer(state, seconds);
    }
    return state;
}

void unit_model::steer(unit_state& state, double seconds)
{
    const grid_second& now = oscillator_->at(seconds);
    state.adc[temperature_channel] = to_adc_word(now.temperature + now.temperature_noise);
    state.adc[vcxo_channel] =
        to_adc_word(tuning_zero_vcxo + now.tuning / double(tuning_per_vcxo_count) + now.vcxo_noise);
    const double counted = seconds * dds2_counts_per_second + oscillator_->steered_counts(seconds);
    state.dds2 = static_cast<std::uint32_t>(static_cast<std::uint64_t>(dds2_start + std::llround(counted)));
    state.tuning = now.tuning;
}

} // namespace sim
