// A log's health in figures: see log_summary.hpp.
#include "report/log_summary.hpp"

#include <algorithm>
#include <utility>

namespace report {

namespace {

void count_row(summary& into, const logread::row_values& values, const row_time& when,
               const logread::rate_reading& rate)
{
    if (into.rows == 0) {
        into.first = when;
    }
    into.last = when;
    ++into.rows;
    into.complete_rows += logread::complete(values) ? 1U : 0U;
    const auto happened = logread::faults_of(values);
    for (std::size_t index = 0; index < happened.size(); ++index) {
        into.faults[index] += happened[index] ? 1U : 0U;
    }
    const logread::series_values now = logread::series_of(values, rate.window);
    for (std::size_t index = 0; index < now.size(); ++index) {
        if (now[index]) {
            into.series[index].add(*now[index]);
        }
    }
    into.dds2.add(rate.span.value_or(logread::rate_span{}));
    into.dds2_jumps += rate.jump ? 1U : 0U;
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
    if (start.time_note != nullptr) {
        out_.on_start_note(logread::describe(source_, start));
    }
    summary& run = begin_run();
    run.run = start.run;
    run.started = std::string(start.ctime_text);
    run.start_time = start.start_time;
    run.failed_starts = std::exchange(failed_starts_since_run_, 0);
}

void log_summary::on_row(const logread::row_event& row)
{
    summary& run = current_run();
    const row_time when{row.time, row.values.elapsed};
    if (run.rows == 0 && row.time && last_time_) {
        run.between_runs_s = std::max(0.0, *row.time - *last_time_);
        total_.between_runs_s += run.between_runs_s;
    }
    last_time_ = row.time ? row.time : last_time_;
    coverage_.add(when.time.value_or(when.elapsed), logread::complete(row.values));
    const double paused = pauses_.take(row);
    run.paused_s += paused;
    total_.paused_s += paused;
    const logread::rate_reading rate = rate_.take(row);
    count_row(run, row.values, when, rate);
    count_row(total_, row.values, when, rate);
    if (!since_complete_) {
        since_complete_ = when;
    }
    if (logread::complete(row.values)) {
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
    if (!run_) {
        return;
    }
    summary& run = *run_;
    if (since_complete_) {
        end_stretch(run, run.last);
    }
    since_complete_.reset();
    run.dds2_fit = rate_.rate_changed() ? logread::fitted_rate{} : rate_.fitted();
    total_.dds2_fit.add(run.dds2_fit);
    if (!coverage_.empty()) {
        run.span_s = coverage_.span();
        run.covered_s = coverage_.covered();
        total_.span_s += run.span_s + run.between_runs_s;
        total_.covered_s += run.covered_s;
    }
    coverage_ = {};
    out_.on_run_end(run);
    run_.reset();
}

summary& log_summary::begin_run()
{
    ++runs_;
    return run_.emplace();
}

summary& log_summary::current_run()
{
    // rows before any start line: a file rotated in the middle of a run
    return run_ ? *run_ : begin_run();
}

void log_summary::end_stretch(summary& run, const row_time& end)
{
    const stretch gap{end.elapsed - since_complete_->elapsed, *since_complete_};
    keep_longer(run.longest_gap, gap);
    keep_longer(total_.longest_gap, gap);
}

} // namespace report
