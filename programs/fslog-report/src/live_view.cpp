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

// The columns of the series lines, 80 in all: a label, the latest value
// (with its stale mark), then min, mean and max over a minute and an hour.
constexpr const char* series_line = "%-11s %10s  %8s %9s %8s  %8s %9s %8s";
constexpr const char* stale_mark = "*";

std::string window_cells(const logread::running_stats& values, const char* format)
{
    char text[64];
    if (values.empty()) {
        std::snprintf(text, sizeof text, "%8s %9s %8s", "-", "-", "-");
    } else {
        std::snprintf(text, sizeof text, "%8s %9s %8s", number(values.min(), format).c_str(),
                      number(values.mean(), "%.1f").c_str(), number(values.max(), format).c_str());
    }
    return text;
}

// How long ago `then` was, as "last row 2.3 s ago".
std::string ago(const char* what, const std::optional<double>& then, double now)
{
    if (!then) {
        return std::string("no ") + what + " yet";
    }
    return std::string("last ") + what + " " + span_text(std::max(0.0, now - *then)) + " ago";
}

} // namespace

live_view::live_view(std::string path, logread::time_zone zone)
    : path_(std::move(path)), zone_(zone), windows_(logread::series_count, recent_window(hour)),
      fault_windows_(logread::fault_count, recent_window(hour)), row_window_(minute)
{
}

void live_view::on_run_start(const logread::run_start& start)
{
    run_text_ = "run " + std::to_string(start.run) + " started " +
                run_start_text(start.start_time, start.ctime_text, zone_);
}

void live_view::on_row(const logread::row_event& row)
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
    row_window_.add(clock, 1);
    take_values(row, clock, written);
    take_faults(row.values, clock);
    if (logread::complete(row.values)) {
        last_complete_ = written;
    }
}

// Each series' latest value; the rate's is that of the last 10 s of
// readings, and its minute's and hour's figures are of its 10 s windows.
void live_view::take_values(const logread::row_event& row, double clock, double written)
{
    const logread::row_values& values = row.values;
    const logread::rate_reading rate = rate_.take(row);
    auto now = logread::series_of(values, rate.window);
    for (std::size_t index = 0; index < now.size(); ++index) {
        if (now[index]) {
            windows_[index].add(clock, *now[index]);
        }
    }
    if (rate.span) {
        recent_rate_.add(clock, *rate.span);
    }
    now[logread::dds2_rate] = rate.span ? recent_rate_.rate() : std::nullopt;
    for (std::size_t index = 0; index < now.size(); ++index) {
        if (now[index]) {
            latest_[index] = now[index];
            latest_at_[index] = written;
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

// The last row's age beside the last complete row's: rows that go on
// without a complete one mean a unit that does not answer; no rows at all,
// an fslog that has stopped (or a log written elsewhere).
std::string live_view::since_rows(double now, bool alarm) const
{
    const std::string rows = ago("row", last_row_, now) + ", ";
    const double age = last_complete_ ? std::max(0.0, now - *last_complete_) : 0;
    if (last_complete_ && age > stale_after_seconds && alarm) {
        return rows + terminal_screen::alarm(" NO COMPLETE ROW FOR " + span_text(age) + " ");
    }
    return rows + ago("complete row", last_complete_, now);
}

std::string live_view::latest_cell(std::size_t series, double now) const
{
    const bool stale = latest_[series] && now - latest_at_[series] > stale_after_seconds;
    return number(latest_[series], format_of(series)) + (stale ? stale_mark : "");
}

bool live_view::any_stale(double now) const
{
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        if (latest_[index] && now - latest_at_[index] > stale_after_seconds) {
            return true;
        }
    }
    return false;
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
    std::snprintf(text, sizeof text, "%s   %s", path_.c_str(), readable_time(now, zone_).c_str());
    lines.emplace_back(text);
    lines.push_back(run_text_.empty() ? "no start line read: rows are timed by their elapsed seconds"
                                      : run_text_);
    std::snprintf(text, sizeof text, "%llu rows, %.1f a second over the last minute",
                  static_cast<unsigned long long>(rows_), rows_per_second());
    lines.emplace_back(text);
    lines.push_back(reading_note());
    add_series_lines(lines, now);
    add_fault_lines(lines);
    lines.push_back(since_rows(now, true));
    return lines;
}

void live_view::add_series_lines(std::vector<std::string>& lines, double now) const
{
    char text[160];
    lines.emplace_back(std::string(24, ' ') + "------- last minute -------  -------- last hour --------");
    std::snprintf(text, sizeof text, series_line, "", "latest", "min", "mean", "max", "min", "mean", "max");
    lines.emplace_back(text);
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        const char* format = format_of(index);
        const std::string minute_cells = window_cells(windows_[index].last(clock_, minute), format);
        const std::string hour_cells = window_cells(windows_[index].last(clock_, hour), format);
        std::snprintf(text, sizeof text, "%-11s %10s  %s  %s", label_of(index).c_str(),
                      latest_cell(index, now).c_str(), minute_cells.c_str(), hour_cells.c_str());
        lines.emplace_back(text);
    }
    std::snprintf(text, sizeof text, "dds 1 %s, dds 2 %s%s", number(dds1_).c_str(), number(dds2_).c_str(),
                  any_stale(now) ? "   (* older than 30 s)" : "");
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
    std::string line = readable_time(now, zone_) + " " + path_ + ": ";
    char text[64];
    std::snprintf(text, sizeof text, "%llu rows, %.1f/s;", static_cast<unsigned long long>(rows_),
                  rows_per_second());
    line += text;
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        line += " " + label_of(index) + " " + latest_cell(index, now);
        line += index == logread::vcxo || index == logread::dds2_rate ? ";" : "";
    }
    std::snprintf(text, sizeof text,
                  "; failed adc %llu dds %llu tuning %llu; (CS bad!) dds %llu tuning %llu; ",
                  static_cast<unsigned long long>(faults_[logread::adc_failed]),
                  static_cast<unsigned long long>(faults_[logread::dds_failed]),
                  static_cast<unsigned long long>(faults_[logread::tuning_failed]),
                  static_cast<unsigned long long>(faults_[logread::dds_cs_bad]),
                  static_cast<unsigned long long>(faults_[logread::tuning_cs_bad]));
    line += text + since_rows(now, false);
    const std::string note = reading_note();
    return note.empty() ? line : line + "; " + note;
}

} // namespace report
