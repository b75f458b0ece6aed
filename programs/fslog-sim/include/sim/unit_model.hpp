// The simulated unit's readings over time: what a healthy unit on the bench
// reports. The ADC channels carry noise, the temperature drifts slowly and
// the vcxo channel leans with it; DDS 1 holds still while DDS 2 counts up at
// a steady rate with a small wander; the tuning word follows the vcxo's
// level (its reading without the noise).
//
// With an oscillator (oscillator.hpp) the unit is steered instead: the
// tuning word is the oscillator's steering word u, the vcxo channel reads
// u through the same line as the tuning word follows the vcxo without one,
// tuning_zero_vcxo + u / tuning_per_vcxo_count counts, and DDS 2 counts
// the steered output. The temperature and vcxo readings then carry the
// oscillator's per-second ADC noise instead of noise per reading.
#pragma once

#include "sim/oscillator.hpp"
#include "sim/unit_answers.hpp"

#include <array>
#include <cstdint>
#include <optional>
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
inline constexpr std::size_t temperature_channel = 2;
inline constexpr std::size_t vcxo_channel = 3;

// How far the temperature channel's level (without noise) stands from its
// nominal value `seconds` after the unit started: a slow swing.
double temperature_drift(double seconds);

class unit_model {
public:
    // The same seed gives the same readings for the same sampling times.
    // With `steered`, the unit steers an oscillator of those settings,
    // drawn from the same seed, whose seconds go to `truth` unless it is
    // null.
    explicit unit_model(std::uint64_t seed, const std::optional<oscillator_settings>& steered = {},
                        std::FILE* truth = nullptr);

    // Samples the unit `seconds` after it started; call with times that do
    // not go backwards.
    unit_state at(double seconds);

private:
    // Uniform in [-spread, spread].
    double noise(double spread);
    void steer(unit_state& state, double seconds);

    std::mt19937_64 random_;
    std::optional<oscillator> oscillator_;
    std::int64_t wander_ = 0;
};

} // namespace sim
