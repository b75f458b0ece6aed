#include "logread/dds_rate.hpp"

#include "protocol/line_timing.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace logread {

namespace {

// The furthest a reading may lie from its time at the typical rate: the
// ADC exchange before it ends within one reply timeout of the line.
constexpr double max_timing_error = protocol::reply_timeout_seconds;
// A typical rate needs a few spans, and is worked out anew every few.
constexpr std::size_t spans_for_typical = 5;

} // namespace

rate_reading dds_rate::take(const row_event& row)
{
    if (row.run != run_) {
        *this = dds_rate();
        run_ = row.run;
    }
    if (!row.values.dds) {
        return {};
    }
    const double elapsed = row.values.elapsed;
    const auto delta = static_cast<double>(row.values.dds->delta);
    if (!reference_ || (row.values.adc && elapsed <= *reference_)) {
        if (row.values.adc) {
            start_from(elapsed);
        }
        return {};
    }
    // Without the ADC group, the DDS query ran after a reset of unknown length.
    if (!row.values.adc) {
        carried_ += delta;
        carried_since_left_out_ += delta;
        return {};
    }
    return take_timed(elapsed, delta);
}

rate_reading dds_rate::take_timed(double elapsed, double delta)
{
    const rate_span span{carried_ + delta, elapsed - *reference_};
    note_rate(span.counts / span.seconds);
    if (plausible(span)) {
        return accept(elapsed, span);
    }
    if (!left_out_) {
        // Left out; its delta goes on to the next reading, in case only its time was wrong.
        left_out_ = elapsed;
        carried_ = span.counts;
        carried_since_left_out_ = 0;
        return {std::nullopt, true, std::nullopt};
    }
    // Carried on, the delta still doesn't fit: the counter jumped at the
    // reading left out, and the sums go on from there.
    const rate_span since{carried_since_left_out_ + delta, elapsed - *left_out_};
    if (since.seconds > 0 && plausible(since)) {
        return accept(elapsed, since);
    }
    start_from(elapsed);
    return {std::nullopt, true, std::nullopt};
}

rate_reading dds_rate::accept(double elapsed, const rate_span& span)
{
    start_from(elapsed);
    rate_reading reading{span, false, std::nullopt};
    window_.add(span);
    if (window_.seconds >= window_seconds) {
        reading.window = window_.rate();
        window_ = {};
    }
    return reading;
}

void dds_rate::start_from(double elapsed)
{
    reference_ = elapsed;
    carried_ = 0;
    left_out_.reset();
    carried_since_left_out_ = 0;
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
