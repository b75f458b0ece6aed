#include "plot/log_sampler.hpp"

#include <cstdio>

namespace plot {

namespace {

// No bin is narrower than this: rows come about twenty a second, so a bin
// of a second holds a reading of each kind unless a query failed.
constexpr double min_bin_seconds = 1.0;

} // namespace

log_sampler::log_sampler(const options& given, std::size_t columns) : given_(given), columns_(columns) {}

void log_sampler::on_run_start(const logread::run_start& start)
{
    run_start_time_ = start.start_time;
    if (start.time_note != nullptr) {
        std::fprintf(stderr, "fslog-plot: %s\n", logread::describe(source_, start).c_str());
    }
}

void log_sampler::on_skipped(const logread::skipped_line& line)
{
    if (const auto note = notes_.note(source_, line)) {
        std::fprintf(stderr, "fslog-plot: %s, skipped\n", note->c_str());
    }
}

void log_sampler::on_file_end()
{
    if (const auto rest = notes_.file_end(source_)) {
        std::fprintf(stderr, "fslog-plot: %s, skipped\n", rest->c_str());
    }
}

// A window end on the chosen axis: elapsed seconds count from the first
// run's start, and a local time on an elapsed axis needs that start.
std::optional<double> log_sampler::place(const std::optional<time_point>& end)
{
    if (!end) {
        return std::nullopt;
    }
    const bool on_time_axis = axis_ == time_axis::real_time;
    if (end->absolute == on_time_axis) {
        return end->seconds;
    }
    if (!first_start_) {
        problem_ = end->text + " is a time of day, and the log holds no start line to place it by";
        return std::nullopt;
    }
    const auto start = static_cast<double>(*first_start_);
    return on_time_axis ? start + end->seconds : end->seconds - start;
}

void log_sampler::choose_axis(const logread::row_event& first)
{
    no_start_time_ = !given_.elapsed && !first.time;
    axis_ = given_.elapsed || no_start_time_ ? time_axis::elapsed : time_axis::real_time;
    axis_run_ = first.run;
    first_start_ = first.time ? run_start_time_ : std::nullopt;
    const std::optional<double> from = place(given_.from);
    const std::optional<double> to = place(given_.to);
    if (from && to && *from >= *to) {
        problem_ = "--from " + given_.from->text + " does not come before --to " + given_.to->text;
    }
    bins_.emplace(columns_, min_bin_seconds, from, to);
}

std::optional<double> log_sampler::x_of(const logread::row_event& row) const
{
    if (axis_ == time_axis::real_time) {
        return row.time;
    }
    return row.run == axis_run_ ? std::optional<double>(row.values.elapsed) : std::nullopt;
}

void log_sampler::on_row(const logread::row_event& row)
{
    if (!problem_.empty()) {
        return;
    }
    if (rows_read_++ == 0) {
        choose_axis(row);
    }
    const logread::rate_reading rate = rate_.take(row);
    const double paused_s = pauses_.take(row);
    const std::optional<double> x = x_of(row);
    if (!x) {
        ++rows_off_axis_;
        return;
    }
    bins_->add({*x, row.run, logread::series_of(row.values, rate.window), logread::faults_of(row.values),
                rate, paused_s});
}

} // namespace plot
