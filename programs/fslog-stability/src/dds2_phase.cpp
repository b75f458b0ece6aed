#include "stability_tool/dds2_phase.hpp"

#include "logread/row_facts.hpp"

#include <cmath>
#include <limits>

namespace stability_tool {

dds2_phase::dds2_phase(double tau0, std::optional<double> r0, bool keep_readings)
    : tau0_(tau0), r0_(r0), timeline_(tau0, keep_readings)
{
}

void dds2_phase::on_run_start(const logread::run_start&)
{
    end_segment();
    rate_before_.reset();
    run_begins_ = true;
}

void dds2_phase::on_row(const logread::row_event& row)
{
    const logread::row_values& values = row.values;
    if (!values.dds) {
        return;
    }
    count_ = run_begins_ ? 0 : count_ + values.dds->delta;
    run_begins_ = false;
    const auto faults = logread::faults_of(values);
    if (!row.time || faults[logread::adc_failed] || faults[logread::dds_cs_bad]) {
        ++timeline_.series().left_out;
        return;
    }
    take(reading{count_, *row.time});
}

std::optional<double> dds2_phase::rate() const
{
    if (r0_) {
        return r0_;
    }
    constexpr double shortest_span = 10; // seconds
    if (!first_timed_ || !last_timed_ || last_timed_->time - first_timed_->time < shortest_span) {
        return rate_before_;
    }
    return fit_.slope();
}

void dds2_phase::line_fit::add(double time, double count)
{
    ++n;
    sum_t += time;
    sum_c += count;
    sum_tt += time * time;
    sum_tc += time * count;
}

double dds2_phase::line_fit::slope() const
{
    return (n * sum_tc - sum_t * sum_c) / (n * sum_tt - sum_t * sum_t);
}

double dds2_phase::phase_of(const reading& at, double rate) const
{
    const reading& first = first_timed_.value();
    return (at.count - first.count) / rate - (at.time - first.time);
}

std::optional<double> dds2_phase::lateness(const reading& earlier, const reading& later) const
{
    const std::optional<double> now = rate();
    if (!now) {
        return std::nullopt;
    }
    return (later.count - earlier.count) / *now - (later.time - earlier.time);
}

void dds2_phase::take(const reading& at)
{
    const std::optional<double> late = last_timed_ ? lateness(*last_timed_, at) : std::nullopt;
    if (late && (*late > late_seconds || *late < -jump_seconds)) {
        const std::optional<double> after_suspect = suspect_ ? lateness(*suspect_, at) : std::nullopt;
        if (!after_suspect || std::abs(*after_suspect) > late_seconds) {
            suspect_ = at;
        }
        const bool jumped = std::abs(*late) > jump_seconds && at.time - suspect_->time >= confirm_seconds;
        if (!jumped) {
            ++timeline_.series().left_out;
            return;
        }
        end_segment(); // the counter jumped: the readings since the suspect agree
    }
    suspect_.reset();
    if (!first_timed_) {
        first_timed_ = at;
    }
    last_timed_ = at;
    const reading first = first_timed_.value_or(at);
    fit_.add(at.time - first.time, at.count - first.count);
    const auto bin = static_cast<std::int64_t>(std::floor(at.time / tau0_));
    if (bin_ && bin < *bin_) {
        ++timeline_.series().left_out; // the host's clock went back
        return;
    }
    if (bin_ && bin > *bin_) {
        flush();
    }
    ++bin_readings_;
    const std::optional<double> now = rate();
    if (!best_ || (now && phase_of(at, *now) < phase_of(*best_, *now))) {
        best_ = at;
    }
    bin_ = bin;
}

void dds2_phase::flush()
{
    if (!bin_ || !best_ || !first_timed_) {
        return;
    }
    const double start = static_cast<double>(*bin_) * tau0_;
    const std::size_t index = timeline_.put(*bin_, start, best_->count - first_timed_->count, bin_readings_);
    if (!segment_begin_) {
        segment_begin_ = index;
        segment_first_bin_ = *bin_;
    }
    offsets_.resize(index - *segment_begin_, 0);
    offsets_.push_back(static_cast<float>(best_->time - start));
    bin_.reset();
    best_.reset();
    bin_readings_ = 0;
}

void dds2_phase::end_segment()
{
    flush();
    if (segment_begin_ && first_timed_) {
        const std::optional<double> r0 = rate();
        const std::span<double> values = timeline_.values_from(*segment_begin_);
        const double first_start = static_cast<double>(segment_first_bin_) * tau0_ - first_timed_->time;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double since_first = first_start + static_cast<double>(i) * tau0_ + offsets_[i];
            values[i] = r0 ? values[i] / *r0 - since_first : std::numeric_limits<double>::quiet_NaN();
        }
        fill_short_gaps(values);
        timeline_.break_here();
    }
    rate_before_ = rate();
    segment_begin_.reset();
    offsets_.clear();
    first_timed_.reset();
    last_timed_.reset();
    suspect_.reset();
    fit_ = {};
}

void dds2_phase::fill_short_gaps(std::span<double> values) const
{
    const auto longest = static_cast<std::size_t>(std::floor(max_interpolated / tau0_ + 1e-9));
    std::optional<std::size_t> known;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i])) {
            continue;
        }
        if (known && i - *known > 1 && i - *known - 1 <= longest) {
            const double step = (values[i] - values[*known]) / static_cast<double>(i - *known);
            for (std::size_t j = *known + 1; j < i; ++j) {
                values[j] = values[*known] + step * static_cast<double>(j - *known);
            }
        }
        known = i;
    }
}

even_series dds2_phase::finish()
{
    end_segment();
    even_series done = std::move(timeline_.series());
    done.data.kind = stability::data_kind::phase;
    return done;
}

} // namespace stability_tool
