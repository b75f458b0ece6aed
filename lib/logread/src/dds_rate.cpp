#include "logread/dds_rate.hpp"

#include "protocol/line_timing.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace logread {

namespace {

// The furthest a reading may lie from its time at the typical rate: its ADC
// exchange delays it by tens of milliseconds, a busy host's now and then by
// more; a longer delay is told from a step by the readings after it.
constexpr double max_timing_error = 1;
// The readings after a held one decide on it once they span this long (and
// as long as the held span), so that a changed rate shows as such.
constexpr double deciding_seconds = 2;
// A typical rate needs a few spans, and is worked out anew every few.
constexpr std::size_t spans_for_typical = 5;

} // namespace

rate_reading dds_rate::take(const row_event& row)
{
    if (row.run != run_) {
        *this = dds_rate();
        run_ = row.run;
    }
    // The reading before came before this row began.
    if (awaiting_next_row_ && row.values.elapsed > awaiting_next_row_->elapsed) {
        fit_.add_next_row(row.values.elapsed, awaiting_next_row_->phase);
    }
    awaiting_next_row_.reset();
    if (!row.values.dds) {
        return {};
    }
    const double elapsed = row.values.elapsed;
    const auto delta = static_cast<double>(row.values.dds->delta);
    const double latest = held_ ? held_->elapsed : reference_.value_or(0);
    if (!reference_ || (row.values.adc && elapsed < latest)) {
        if (row.values.adc) {
            start_from(elapsed);
            phase_ = 0;
            fitted_before_.add(fit_);
            fit_ = {};
        }
        return {};
    }
    // Without the ADC group, the DDS query ran after a reset of unknown
    // length; at the same printed time, the reading's time is not told apart.
    if (!row.values.adc || elapsed == latest) {
        carried_ += delta;
        return {};
    }
    return take_timed(elapsed, delta);
}

rate_reading dds_rate::take_timed(double elapsed, double delta)
{
    if (held_) {
        const rate_span after{carried_ + delta, elapsed - held_->elapsed};
        if (after.seconds < std::max(deciding_seconds, held_->span.seconds)) {
            carried_ += delta;
            return {};
        }
        return decide(elapsed, after);
    }
    const rate_span span{carried_ + delta, elapsed - *reference_};
    if (plausible(span)) {
        note_rate(span.counts / span.seconds);
        return accept(elapsed, span);
    }
    held_ = held_reading{elapsed, span};
    carried_ = 0;
    return {};
}

rate_reading dds_rate::decide(double elapsed, const rate_span& after)
{
    rate_span whole = held_->span;
    whole.add(after);
    // The reading before the held one may have been late itself, within
    // what passes; the held one, on time, then seems short of counts.
    rate_span from_before = last_accepted_;
    from_before.add(whole);
    if (plausible(whole) || plausible(from_before)) {
        return accept(elapsed, whole);
    }
    if (plausible(after)) {
        fit_.step();
        rate_reading reading = accept(elapsed, after);
        reading.jump = true;
        return reading;
    }
    recent_count_ = 0;
    typical_.reset();
    fitted_before_.add(fit_);
    fit_ = {};
    note_rate(after.counts / after.seconds);
    return accept(elapsed, whole);
}

rate_reading dds_rate::accept(double elapsed, const rate_span& span)
{
    start_from(elapsed);
    last_accepted_ = span;
    phase_ += span.counts;
    rate_reading reading{span, false, std::nullopt, std::nullopt};
    if (const auto rate = span.rate()) {
        const kept_second kept = fit_.add(elapsed, phase_, *rate);
        reading.settled = kept.settled;
        reading.window = kept.window;
        awaiting_next_row_ = timed_phase{elapsed, phase_};
    }
    return reading;
}

fitted_rate dds_rate::fitted() const
{
    fitted_rate all = fitted_before_;
    all.add(fit_);
    return all;
}

void dds_rate::start_from(double elapsed)
{
    reference_ = elapsed;
    carried_ = 0;
    held_.reset();
}

bool dds_rate::plausible(const rate_span& span) const
{
    return !typical_ ||
           std::abs(span.counts - *typical_ * span.seconds) <= std::abs(*typical_) * max_timing_error + 1;
}

void dds_rate::note_rate(double rate)
{
    recent_rates_[recent_count_ % typical_spans] = rate;
    ++recent_count_;
    if (recent_count_ % spans_for_typical != 0) {
        return;
    }
    std::array<double, typical_spans> sorted = recent_rates_;
    const auto end = sorted.begin() + static_cast<std::ptrdiff_t>(std::min(recent_count_, typical_spans));
    const auto middle = sorted.begin() + (end - sorted.begin()) / 2;
    std::nth_element(sorted.begin(), middle, end);
    typical_ = *middle;
}

void recent_rate::add(double time, const rate_span& span)
{
    bins_.at(time).add(span);
}

std::optional<double> recent_rate::rate() const
{
    const std::optional<std::int64_t> newest = bins_.newest();
    if (!newest) {
        return std::nullopt;
    }
    return bins_.last(static_cast<double>(*newest), seconds_kept).rate();
}

} // namespace logread
