#include "stability_tool/reading_bins.hpp"

#include "logread/row_facts.hpp"

#include <cmath>

namespace stability_tool {

std::optional<std::int32_t> timed_tuning_of(const logread::row_values& values)
{
    const auto faults = logread::faults_of(values);
    if (faults[logread::adc_failed] || faults[logread::dds_failed] || faults[logread::tuning_cs_bad]) {
        return std::nullopt;
    }
    return values.tuning;
}

reading_bins::reading_bins(row_series which, double tau0, double scale, bool keep_readings)
    : which_(which), tau0_(tau0), scale_(scale), timeline_(tau0, keep_readings)
{
}

void reading_bins::on_run_start(const logread::run_start&)
{
    flush();
    timeline_.break_here();
    last_tuning_.reset();
}

void reading_bins::on_row(const logread::row_event& row)
{
    const logread::row_values& values = row.values;
    std::optional<double> value;
    if (which_ == row_series::tuning) {
        if (values.tuning) {
            value = timed_tuning_of(values);
            if (!value) {
                ++timeline_.series().left_out;
            }
        }
    } else if (values.adc) {
        const logread::series channel = which_ == row_series::vcxo ? logread::vcxo : logread::temperature;
        value = (*values.adc)[channel];
    }
    if (!value) {
        return;
    }
    if (!row.time) {
        ++timeline_.series().left_out;
        return;
    }
    note_tuning(*row.time, row.values);
    take(*row.time, *value * scale_);
}

void reading_bins::note_tuning(double time, const logread::row_values& values)
{
    const std::optional<std::int32_t> tuning = timed_tuning_of(values);
    if (!tuning) {
        return;
    }
    if (last_tuning_ && last_tuning_->value != *tuning) {
        updates_.observe_step(last_tuning_->time, time);
    }
    last_tuning_ = timed_tuning{time, *tuning};
}

void reading_bins::take(double time, double value)
{
    const double origin = updates_.update_time();
    // A reading whose bin lies before the one at hand (the estimate of the
    // updates moved back a little, or the host's clock was set back) joins
    // the one at hand: that bin is closed.
    const auto bin = static_cast<std::int64_t>(std::floor((time - origin) / tau0_));
    if (bin_ && bin > *bin_) {
        flush();
    }
    if (!bin_) {
        bin_ = bin;
        bin_start_ = origin + static_cast<double>(bin) * tau0_;
    }
    sum_ += value;
    ++count_;
}

void reading_bins::flush()
{
    if (bin_ && count_ > 0) {
        timeline_.put(*bin_, bin_start_, sum_ / static_cast<double>(count_), count_);
    }
    bin_.reset();
    sum_ = 0;
    count_ = 0;
}

even_series reading_bins::finish()
{
    flush();
    even_series done = std::move(timeline_.series());
    done.data.kind = stability::data_kind::frequency;
    return done;
}

} // namespace stability_tool
