// The simulated unit's readings over time: what a healthy unit on the bench
// reports. The ADC channels carry noise, the temperature drifts slowly and
// the vcxo channel leans with it; DDS 1 holds still while DDS 2 counts up at
// a steady rate with a small wander; the tuning word follows the vcxo's
// level (its reading without the noise).
#pragma once

#include "sim/unit_answers.hpp"

#include <array>
#include <cstdint>
#include <random>

namespace sim {

// Nominal values, also what the tests hold the model to.
inline constexpr std::array<std::uint16_t, 4> adc_nominal{812, 2047, 1530, 2214};
inline constexpr std::array<double, 4> adc_noise{2.0, 1.0, 1.0, 2.0}; // +/- counts
inline constexpr double temperature_swing = 6.0;                      // +/- counts
inline constexpr double temperature_period = 900.0;                   // seconds
inline constexpr std::uint32_t dds1_word = 1932735283;
inline constexpr std::uint32_t dds2_start = 2576980377;
inline constexpr std::int64_t dds2_wander_limit = 40; // +/- counts around the steady count
inline constexpr int tuning_per_vcxo_count = 7;
inline constexpr int tuning_zero_vcxo = 2384;

class unit_model {
public:
    // The same seed gives the same readings for the same sampling times.
    explicit unit_model(std::uint64_t seed);

    // Samples the unit `seconds` after it started; call with times that do
    // not go backwards.
    unit_state at(double seconds);

private:
    // Uniform in [-spread, spread].
    double noise(double spread);

    std::mt19937_64 random_;
    std::int64_t wander_ = 0;
};

} // namespace sim
