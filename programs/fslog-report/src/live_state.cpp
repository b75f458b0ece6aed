// fslog-report --follow's picture of a growing log: see live_state.hpp.
#include "report/live_state.hpp"

#include <algorithm>
#include <chrono>

namespace report {

namespace {

double wall_clock_now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

live_state::live_state(std::string path)
    : path_(std::move(path)), windows_(logread::series_count, recent_values(hour_seconds, hour_seconds)),
      fault_windows_(logread::fault_count, recent_values(hour_seconds, hour_seconds)),
      row_window_(minute_seconds, minute_seconds)
{
}

void live_state::on_run_start(const logread::run_start& start)
{
    run_ = run_began{start.run, start.start_time, std::string(start.ctime_text)};
}

void live_state::on_row(const logread::row_event& row)
{
    // Without a known start, the row counts as written when it was read.
    const double written = row.time.value_or(wall_clock_now());
    last_row_ = written;
    const double clock = row.time.value_or(row.values.elapsed);
    if (rows_ == 0 || clock < clock_) {
        clock_start_ = clock;
    }
    clock_ = clock;
    ++rows_;
    row_window_.at(clock).add(1);
    take_values(row, clock, written);
    take_faults(row.values, clock);
    if (logread::complete(row.values)) {
        last_complete_ = written;
    }
}

// Each series' latest value. The rate's is over the last 10 s of the
// least-delayed reading of each second, as fslog-metrics gives it, taken
// anew each second; its minute's and hour's figures are of those.
void live_state::take_values(const logread::row_event& row, double clock, double written)
{
    const logread::row_values& values = row.values;
    auto now = logread::series_of(values, std::nullopt);
    if (const logread::rate_reading rate = rate_.take(row); rate.settled) {
        recent_rate_.add(clock, *rate.settled);
        now[logread::dds2_rate] = recent_rate_.rate();
    }
    for (std::size_t index = 0; index < now.size(); ++index) {
        if (now[index]) {
            windows_[index].at(clock).add(*now[index]);
            latest_[index] = now[index];
            latest_at_[index] = written;
        }
    }
    if (values.dds) {
        dds1_ = values.dds->dds1;
        dds2_ = values.dds->dds2;
    }
}

void live_state::take_faults(const logread::row_values& values, double clock)
{
    const auto happened = logread::faults_of(values);
    for (std::size_t index = 0; index < happened.size(); ++index) {
        if (happened[index]) {
            ++faults_[index];
            fault_windows_[index].at(clock).add(1);
        }
    }
}

void live_state::set_reading(const logread::follow_result& result, bool file_open)
{
    reading_ = result;
    file_open_ = file_open;
}

double live_state::rows_per_second() const
{
    const double span = std::min(static_cast<double>(minute_seconds), clock_ - clock_start_);
    const auto recent_rows = static_cast<double>(row_window_.last(clock_, minute_seconds).count());
    return span > 0 ? recent_rows / span : 0;
}

bool live_state::stale(std::size_t series, double now) const
{
    return latest_[series] && now - latest_at_[series] > stale_after_seconds;
}

logread::running_stats live_state::recent(std::size_t series, std::size_t seconds) const
{
    return windows_[series].last(clock_, seconds);
}

fault_counts live_state::faults_in_last_hour() const
{
    fault_counts counts{};
    for (std::size_t index = 0; index < counts.size(); ++index) {
        counts[index] = fault_windows_[index].last(clock_, hour_seconds).count();
    }
    return counts;
}

} // namespace report
