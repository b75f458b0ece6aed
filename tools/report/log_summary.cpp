// A log's health in figures: see log_summary.hpp.
#include "report/log_summary.hpp"

#include <utility>

namespace report {

namespace {

bool complete(const logread::row_values& values)
{
    return values.adc && values.dds && values.tuning;
}

void count_row(summary& into, const logread::row_values& values, const row_time& when,
               const std::optional<double>& rate)
{
    if (into.rows == 0) {
        into.first = when;
    }
    into.last = when;
    ++into.rows;
    into.complete_rows += complete(values) ? 1U : 0U;
    into.failures[0] += values.adc ? 0U : 1U;
    into.failures[1] += values.dds ? 0U : 1U;
    into.failures[2] += values.tuning ? 0U : 1U;
    into.cs_bad[0] += values.dds_cs_bad ? 1U : 0U;
    into.cs_bad[1] += values.tuning_cs_bad ? 1U : 0U;
    for (std::size_t channel = 0; values.adc && channel < into.channels.size(); ++channel) {
        into.channels[channel].add((*values.adc)[channel]);
    }
    if (rate) {
        into.dds2_rate.add(*rate);
    }
    if (values.tuning) {
        into.tuning.add(*values.tuning);
    }
}

void keep_longer(stretch& longest, const stretch& candidate)
{
    if (candidate.seconds > longest.seconds) {
        longest = candidate;
    }
}

} // namespace

void log_summary::on_run_start(const logread::run_start& start)
{
    close();
    summary run;
    run.run = start.run;
    run.started = std::string(start.ctime_text);
    run.failed_starts = std::exchange(failed_starts_since_run_, 0);
    runs_.push_back(std::move(run));
}

void log_summary::on_row(const logread::row_event& row)
{
    summary& run = current_run();
    const row_time when{row.time, row.values.elapsed};
    const std::optional<double> rate = rate_.take(row);
    count_row(run, row.values, when, rate);
    count_row(total_, row.values, when, rate);
    if (!since_complete_) {
        since_complete_ = when;
    }
    if (complete(row.values)) {
        end_stretch(run, when);
        since_complete_ = when;
    }
}

void log_summary::on_skipped(const logread::skipped_line&)
{
    ++skipped_;
}

void log_summary::on_failed_start(const logread::failed_start&)
{
    ++failed_starts_since_run_;
    ++total_.failed_starts;
}

void log_summary::close()
{
    if (!runs_.empty() && since_complete_) {
        end_stretch(runs_.back(), runs_.back().last);
    }
    since_complete_.reset();
}

summary& log_summary::current_run()
{
    if (runs_.empty()) {
        runs_.emplace_back(); // rows before any start line: a file rotated in the middle of a run
    }
    return runs_.back();
}

void log_summary::end_stretch(summary& run, const row_time& end)
{
    const stretch gap{end.elapsed - since_complete_->elapsed, *since_complete_};
    keep_longer(run.longest_gap, gap);
    keep_longer(total_.longest_gap, gap);
}

} // namespace report
