// fslog-report --follow's view of a growing log: see live_view.hpp.
#include "report/live_view.hpp"
#include "report/terminal_screen.hpp"
#include "report/time_text.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace report {

namespace {

constexpr std::size_t minute = 60;
constexpr std::size_t hour = 3600;

// A series' label: a channel's name, or the rate's or the tuning's.
std::string label_of(std::size_t series)
{
    if (series < logread::channel_names.size()) {
        return std::string(logread::channel_names[series]);
    }
    return series == logread::dds2_rate ? "dds2 rate" : "user tuning";
}

const char* format_of(std::size_t series)
{
    return series == logread::dds2_rate ? "%.1f" : "%.0f";
}

double wall_clock_now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string number(const std::optional<double>& value, const char* format = "%.0f")
{
    if (!value) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, format, *value);
    return text;
}

std::string window_cells(const logread::running_stats& values, const char* format)
{
    char text[64];
    if (values.empty()) {
        std::snprintf(text, sizeof text, "%9s %10s %9s", "-", "-", "-");
    } else {
        std::snprintf(text, sizeof text, "%9s %10s %9s", number(values.min(), format).c_str(),
                      number(values.mean(), "%.1f").c_str(), number(values.max(), format).c_str());
    }
    return text;
}

} // namespace

live_view::live_view(std::string path)
    : path_(std::move(path)), windows_(logread::series_count, recent_window(hour)),
      fault_windows_(logread::fault_count, recent_window(hour)), row_window_(minute)
{
}

void live_view::on_run_start(const logread::run_start& start)
{
    run_text_ = "run " + std::to_string(start.run) + " started " + std::string(start.ctime_text);
}

void live_view::on_row(const logread::row_event& row)
{
    const double clock = row.time.value_or(row.values.elapsed);
    if (rows_ == 0 || clock < clock_) {
        clock_start_ = clock;
    }
    clock_ = clock;
    ++rows_;
    row_window_.add(clock, 1);
    take_values(row, clock);
    take_faults(row.values, clock);
    if (logread::complete(row.values)) {
        // Without a known start, the row counts as written when it was read.
        last_complete_ = row.time.value_or(wall_clock_now());
    }
}

void live_view::take_values(const logread::row_event& row, double clock)
{
    const logread::row_values& values = row.values;
    const auto now = logread::series_of(values, rate_.take(row));
    for (std::size_t index = 0; index < now.size(); ++index) {
        if (now[index]) {
            latest_[index] = now[index];
            windows_[index].add(clock, *now[index]);
        }
    }
    if (values.dds) {
        dds1_ = values.dds->dds1;
        dds2_ = values.dds->dds2;
    }
}

void live_view::take_faults(const logread::row_values& values, double clock)
{
    const auto happened = logread::faults_of(values);
    for (std::size_t index = 0; index < happened.size(); ++index) {
        if (happened[index]) {
            ++faults_[index];
            fault_windows_[index].add(clock, 1);
        }
    }
}

void live_view::set_reading(const logread::follow_result& result, bool file_open)
{
    reading_ = result;
    file_open_ = file_open;
}

std::string live_view::reading_note() const
{
    if (const std::string problem = logread::follow_problem(reading_); !problem.empty()) {
        return "can't read " + path_ + ": " + problem;
    }
    if (!file_open_) {
        return "waiting for " + path_ + " to appear";
    }
    return {};
}

std::string live_view::since_complete(double now, bool alarm) const
{
    if (!last_complete_) {
        return "no complete row yet";
    }
    const double age = std::max(0.0, now - *last_complete_);
    if (age > stale_after_seconds && alarm) {
        return terminal_screen::alarm(" NO COMPLETE ROW FOR " + span_text(age) + " ");
    }
    return "last complete row " + span_text(age) + " ago";
}

double live_view::rows_per_second() const
{
    const double span = std::min(static_cast<double>(minute), clock_ - clock_start_);
    const auto rows = static_cast<double>(row_window_.last(clock_, minute).count());
    return span > 0 ? rows / span : 0;
}

std::vector<std::string> live_view::screen(double now) const
{
    std::vector<std::string> lines;
    char text[160];
    std::snprintf(text, sizeof text, "%s   %s", path_.c_str(), local_time(now).c_str());
    lines.emplace_back(text);
    lines.push_back(run_text_.empty() ? "no start line read: rows are timed by their elapsed seconds"
                                      : run_text_);
    std::snprintf(text, sizeof text, "%llu rows, %.1f a second over the last minute",
                  static_cast<unsigned long long>(rows_), rows_per_second());
    lines.emplace_back(text);
    lines.push_back(reading_note());
    add_series_lines(lines);
    add_fault_lines(lines);
    lines.push_back(since_complete(now, true));
    return lines;
}

void live_view::add_series_lines(std::vector<std::string>& lines) const
{
    char text[160];
    lines.emplace_back(std::string(23, ' ') +
                       "--------- last minute --------  ---------- last hour ---------");
    std::snprintf(text, sizeof text, "%-11s %9s  %9s %10s %9s  %9s %10s %9s", "", "latest", "min", "mean",
                  "max", "min", "mean", "max");
    lines.emplace_back(text);
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        const char* format = format_of(index);
        std::snprintf(text, sizeof text, "%-11s %9s  %s  %s", label_of(index).c_str(),
                      number(latest_[index], format).c_str(),
                      window_cells(windows_[index].last(clock_, minute), format).c_str(),
                      window_cells(windows_[index].last(clock_, hour), format).c_str());
        lines.emplace_back(text);
    }
    std::snprintf(text, sizeof text, "dds 1 %s, dds 2 %s", number(dds1_).c_str(), number(dds2_).c_str());
    lines.emplace_back(text);
    lines.emplace_back();
}

void live_view::add_fault_lines(std::vector<std::string>& lines) const
{
    char text[160];
    lines.emplace_back("             failed: adc    dds tuning   (CS bad!): dds tuning");
    const auto add = [&](const char* label, const std::array<std::uint64_t, logread::fault_count>& counts) {
        std::snprintf(text, sizeof text, "%-20s %3llu %6llu %6llu %16llu %6llu", label,
                      static_cast<unsigned long long>(counts[logread::adc_failed]),
                      static_cast<unsigned long long>(counts[logread::dds_failed]),
                      static_cast<unsigned long long>(counts[logread::tuning_failed]),
                      static_cast<unsigned long long>(counts[logread::dds_cs_bad]),
                      static_cast<unsigned long long>(counts[logread::tuning_cs_bad]));
        lines.emplace_back(text);
    };
    std::array<std::uint64_t, logread::fault_count> last_hour{};
    for (std::size_t index = 0; index < logread::fault_count; ++index) {
        last_hour[index] = fault_windows_[index].last(clock_, hour).count();
    }
    add("  in all", faults_);
    add("  in the last hour", last_hour);
    lines.emplace_back();
}

std::string live_view::summary_line(double now) const
{
    std::string line = local_time(now) + " " + path_ + ": ";
    char text[64];
    std::snprintf(text, sizeof text, "%llu rows, %.1f/s;", static_cast<unsigned long long>(rows_),
                  rows_per_second());
    line += text;
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        line += " " + label_of(index) + " " + number(latest_[index], format_of(index));
        line += index == logread::vcxo || index == logread::dds2_rate ? ";" : "";
    }
    std::snprintf(text, sizeof text,
                  "; failed adc %llu dds %llu tuning %llu; (CS bad!) dds %llu tuning %llu; ",
                  static_cast<unsigned long long>(faults_[logread::adc_failed]),
                  static_cast<unsigned long long>(faults_[logread::dds_failed]),
                  static_cast<unsigned long long>(faults_[logread::tuning_failed]),
                  static_cast<unsigned long long>(faults_[logread::dds_cs_bad]),
                  static_cast<unsigned long long>(faults_[logread::tuning_cs_bad]));
    line += text + since_complete(now, false);
    const std::string note = reading_note();
    return note.empty() ? line : line + "; " + note;
}

} // namespace report
