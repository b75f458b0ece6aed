// The unit's free-running oscillator and the tuning word that steers it, on
// the unit's own time grid: one value per second of the unit's time,
// k = 0, 1, 2, ..., drawn from the seed alone, so a seed gives the same
// unit however the host happens to poll it. The grid is made as time
// advances, one second at a time, and only the current second is kept.
//
// The fractional frequency of second k:
//   y_k = A·w_k + r_k + D·k + C·(T_k - T_nominal)
// with w_k independent standard normal draws (white FM: ADEV(1 s) = A),
// r_k a random walk whose steps have the sd B·sqrt(3) (random-walk FM:
// for steps of variance s² per second, AVAR(m s) = s²(2m² + 1)/(6m),
// which tends to s²·m/3, so sigma_y(tau) = B·sqrt(tau)), D the drift per
// second, C the change per count of the temperature channel's level T_k.
// The unit steers it once a second: u_k = round(-y_k / K), K the tuning
// word's weight (fractional frequency per count).
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>

namespace sim {

struct oscillator_settings {
    double white_fm = 0;       // A, ADEV(1 s)
    double random_walk_fm = 0; // B, sigma_y(tau) = B·sqrt(tau)
    double drift = 0;          // D, per second
    double tempco = 0;         // C, per count of the temperature channel
    double tuning_lsb = 1e-12; // K, per count of the tuning word
};

// The white noise of the temperature and vcxo channels' readings under the
// oscillator: one normal draw of this sd (counts) per channel and second,
// so that its level after averaging a second does not depend on how often
// the host reads.
inline constexpr double adc_noise_per_second = 1.0;

// One second of the unit's time.
struct grid_second {
    std::uint64_t second = 0;
    double y = 0;                     // free-running fractional frequency
    std::int32_t tuning = 0;          // u, the steering word
    double temperature = 0;           // the temperature channel's level, counts
    double temperature_noise = 0;     // this second's ADC noise, counts
    double vcxo_noise = 0;            // likewise for the vcxo channel
    double steered_counts_before = 0; // DDS 2 counts beyond the nominal rate, up to this second
};

class oscillator {
public:
    // Writes each second to `truth` as it is made ("t y u temperature",
    // after a '#' header line), or to nowhere when it is null.
    oscillator(const oscillator_settings& settings, std::uint64_t seed, std::FILE* truth);

    // The second that holds `seconds` since the unit started; times must
    // not go backwards.
    const grid_second& at(double seconds);

    // DDS 2 counts beyond its nominal rate from the start to `seconds`
    // (within the current second): the steered output's fractional
    // frequency y + K·u, times the nominal rate, summed over time.
    double steered_counts(double seconds) const;

    const oscillator_settings& settings() const { return settings_; }

private:
    void make_second(std::uint64_t second);
    void write_truth() const;

    oscillator_settings settings_;
    std::mt19937_64 random_;
    std::FILE* truth_;
    double walk_ = 0;
    grid_second now_;
};

} // namespace sim
