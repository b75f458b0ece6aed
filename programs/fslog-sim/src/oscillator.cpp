#include "sim/oscillator.hpp"

#include "sim/draws.hpp"
#include "sim/unit_answers.hpp"
#include "sim/unit_model.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sim {

namespace {

// Keeps the oscillator's draws apart from the readings' and the faults'.
constexpr std::uint64_t oscillator_stream = 0xD1B54A32D192ED03;

// Random-walk FM: steps of sd B·sqrt(3) give sigma_y(tau) = B·sqrt(tau).
const double walk_step_per_level = std::sqrt(3.0);

std::int32_t steering_word(double y, double lsb)
{
    constexpr double limit = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::lround(std::clamp(-y / lsb, -limit, limit)));
}

} // namespace

oscillator::oscillator(const oscillator_settings& settings, std::uint64_t seed, std::FILE* truth)
    : settings_(settings), random_(seed ^ oscillator_stream), truth_(truth)
{
    if (truth_ != nullptr) {
        std::fputs("# t (s), y (free-running fractional frequency), u (tuning word), temperature (counts)\n",
                   truth_);
    }
    make_second(0);
}

void oscillator::make_second(std::uint64_t second)
{
    // Every draw is made whatever the settings, so that each noise is the
    // same for a seed when another is changed.
    const double white = standard_normal(random_);
    const double step = standard_normal(random_);
    now_.temperature_noise = adc_noise_per_second * standard_normal(random_);
    now_.vcxo_noise = adc_noise_per_second * standard_normal(random_);
    if (second > 0) {
        walk_ += walk_step_per_level * settings_.random_walk_fm * step;
        now_.steered_counts_before += dds2_counts_per_second * (now_.y + settings_.tuning_lsb * now_.tuning);
    }
    const auto t = static_cast<double>(second);
    now_.second = second;
    const double temperature_drift_now = temperature_drift(t);
    now_.temperature = adc_nominal[temperature_channel] + temperature_drift_now;
    now_.y =
        settings_.white_fm * white + walk_ + settings_.drift * t + settings_.tempco * temperature_drift_now;
    now_.tuning = steering_word(now_.y, settings_.tuning_lsb);
    write_truth();
}

void oscillator::write_truth() const
{
    if (truth_ != nullptr) {
        std::fprintf(truth_, "%llu %.9e %ld %.3f\n", static_cast<unsigned long long>(now_.second), now_.y,
                     static_cast<long>(now_.tuning), now_.temperature);
    }
}

const grid_second& oscillator::at(double seconds)
{
    const auto second = static_cast<std::uint64_t>(std::max(0.0, seconds));
    while (now_.second < second) {
        make_second(now_.second + 1);
    }
    return now_;
}

double oscillator::steered_counts(double seconds) const
{
    const double into = seconds - static_cast<double>(now_.second);
    return now_.steered_counts_before +
           into * dds2_counts_per_second * (now_.y + settings_.tuning_lsb * now_.tuning);
}

} // namespace sim
