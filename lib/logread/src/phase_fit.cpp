// The least-delayed phase: see phase_fit.hpp.
#include "logread/phase_fit.hpp"

#include <algorithm>
#include <cmath>

namespace logread {

namespace {

// A second's place in the ring of recent seconds. The modulo is taken
// positive: a damaged log's elapsed times may be negative.
std::size_t ring_index(std::int64_t second)
{
    constexpr auto kept = static_cast<std::int64_t>(2 * phase_fit::adev_tau + 1);
    return static_cast<std::size_t>(((second % kept) + kept) % kept);
}

} // namespace

kept_second phase_fit::add(double elapsed, double phase, double rate)
{
    if (!started_) {
        started_ = true;
        origin_ = elapsed;
        reference_rate_ = rate;
    }
    return take_kept(after_row_.add(elapsed, residual(elapsed, phase)));
}

void phase_fit::add_next_row(double elapsed, double phase)
{
    if (started_) {
        before_next_row_.add(elapsed, residual(elapsed, phase));
    }
}

void phase_fit::step()
{
    take_kept(after_row_.step());
    before_next_row_.step();
    recent_.fill(std::nullopt);
    window_start_.reset();
}

// A second's least-delayed reading against its row's time: a term of
// ADEV(10 s), the span to it and the window it closes.
kept_second phase_fit::take_kept(std::optional<timed_phase> kept)
{
    if (!kept) {
        return {};
    }
    const auto second = static_cast<std::int64_t>(std::floor(kept->elapsed));
    constexpr auto ring = static_cast<std::int64_t>(2 * adev_tau + 1);
    const std::optional<timed_phase> span_from = span_start(second);
    // Seconds without a reading since the last one have no phase.
    const std::int64_t after = recent_second_ ? std::max(*recent_second_ + 1, second - ring + 1) : second;
    for (std::int64_t missing = after; missing < second; ++missing) {
        recent_[ring_index(missing)].reset();
    }
    recent_second_ = second;
    recent_[ring_index(second)] = kept;
    const auto& before = recent_[ring_index(second - adev_tau)];
    const auto& first = recent_[ring_index(second - 2 * adev_tau)];
    if (second >= 2 * adev_tau && before && first) {
        // The two spans' rates, each over the times its own readings were
        // taken: the least-delayed reading of a second may come anywhere in
        // it, so the spans are 10 s only roughly. Their difference is a
        // fraction of the rate itself, not of the rough one the phase is
        // taken against.
        const double later = *span_between(*before, *kept).rate();
        const double change = (later - *span_between(*first, *before).rate()) / later;
        adev_sum_ += change * change;
        ++adev_terms_;
    }
    kept_second gives{std::nullopt, close_window(*kept)};
    if (span_from) {
        gives.settled = span_between(*span_from, *kept);
    }
    return gives;
}

// The counts from one kept reading to a later one, and the time between.
rate_span phase_fit::span_between(const timed_phase& from, const timed_phase& to) const
{
    const double apart = to.elapsed - from.elapsed;
    return {to.phase - from.phase + reference_rate_ * apart, apart};
}

std::optional<double> phase_fit::close_window(const timed_phase& kept)
{
    if (!window_start_) {
        window_start_ = kept;
        return std::nullopt;
    }
    const rate_span window = span_between(*window_start_, kept);
    if (window.seconds < window_seconds) {
        return std::nullopt;
    }
    window_start_ = kept;
    return window.rate();
}

// The least-delayed reading of two seconds before, or where that second had
// none, of the last second closed: a second's may come anywhere in it, so
// a span from the second just before could last a few milliseconds.
std::optional<timed_phase> phase_fit::span_start(std::int64_t second) const
{
    if (!recent_second_) {
        return std::nullopt;
    }
    const std::int64_t two_before = second - 2;
    if (two_before >= 0 && *recent_second_ >= two_before && recent_[ring_index(two_before)]) {
        return recent_[ring_index(two_before)];
    }
    return recent_[ring_index(*recent_second_)];
}

// The mean of the two lines' slopes, or the one there is.
std::optional<double> phase_fit::rate() const
{
    const auto after_row = after_row_.slope();
    const auto before_next_row = before_next_row_.slope();
    if (!after_row || !before_next_row) {
        const auto slope = after_row ? after_row : before_next_row;
        return slope ? std::optional(reference_rate_ + *slope) : std::nullopt;
    }
    return reference_rate_ + (*after_row + *before_next_row) / 2;
}

// The standard error of the mean of the two slopes, and half their
// difference: the lines would agree but for the delays' least values
// drifting over the run, which no scatter about either line shows.
std::optional<double> phase_fit::rate_error() const
{
    const auto after_row = after_row_.slope_error();
    const auto before_next_row = before_next_row_.slope_error();
    if (!after_row || !before_next_row) {
        return after_row ? after_row : before_next_row;
    }
    const double disagreement = *after_row_.slope() - *before_next_row_.slope();
    return std::hypot(*after_row, *before_next_row, disagreement) / 2;
}

std::optional<double> phase_fit::adev() const
{
    if (adev_terms_ == 0) {
        return std::nullopt;
    }
    return std::sqrt(adev_sum_ / (2 * static_cast<double>(adev_terms_)));
}

void fitted_rate::add(const phase_fit& fit)
{
    const auto rate_now = fit.rate();
    if (!rate_now) {
        return;
    }
    seconds += fit.seconds();
    rate_seconds += *rate_now * fit.seconds();
    error_squares += std::pow(fit.rate_error().value_or(0) * fit.seconds(), 2);
    if (const auto adev_now = fit.adev()) {
        adev_squares += *adev_now * *adev_now * fit.seconds();
        adev_seconds += fit.seconds();
    }
}

void fitted_rate::add(const fitted_rate& other)
{
    seconds += other.seconds;
    rate_seconds += other.rate_seconds;
    error_squares += other.error_squares;
    adev_squares += other.adev_squares;
    adev_seconds += other.adev_seconds;
}

std::optional<double> fitted_rate::rate() const
{
    return seconds > 0 ? std::optional(rate_seconds / seconds) : std::nullopt;
}

std::optional<double> fitted_rate::error() const
{
    return seconds > 0 ? std::optional(std::sqrt(error_squares) / seconds) : std::nullopt;
}

std::optional<double> fitted_rate::adev() const
{
    return adev_seconds > 0 ? std::optional(std::sqrt(adev_squares / adev_seconds)) : std::nullopt;
}

} // namespace logread
