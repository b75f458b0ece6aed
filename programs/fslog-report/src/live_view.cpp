// fslog-report --follow's screen: see live_view.hpp.
#include "report/live_view.hpp"
#include "report/terminal_screen.hpp"
#include "report/time_text.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace report {

namespace {

const char* format_of(std::size_t series)
{
    return series == logread::dds2_rate ? "%.1f" : "%.0f";
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

// The fault lines: a label, then each fault's count a space after the one
// before, right-aligned in its column; the heading's labels stand over
// the counts, each kind's name before its first query's.
constexpr std::size_t fault_label_width = 20;
constexpr std::array<std::size_t, logread::fault_count> fault_widths{3, 6, 6, 16, 6};

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

std::string padding(const std::string& text, std::size_t width)
{
    return std::string(width - std::min(width, text.size()), ' ');
}

std::string right_aligned(const std::string& text, std::size_t width)
{
    return padding(text, width) + text;
}

// Whether the fault is the first of its kind, which the kind's name heads.
bool starts_kind(std::size_t index)
{
    const auto which = static_cast<logread::fault>(index);
    return index == 0 || logread::kind_of(which) != logread::kind_of(static_cast<logread::fault>(index - 1));
}

// A fault's label: its query's name, after the name of its kind
// ("failed: adc", "dds", "tuning", "(CS bad!): dds", "tuning").
std::string fault_label(std::size_t index, const char* after_kind)
{
    const auto which = static_cast<logread::fault>(index);
    const std::string query(logread::name_of(logread::query_of(which)));
    return starts_kind(index) ? std::string(logread::name_of(logread::kind_of(which))) + after_kind + query
                              : query;
}

std::string series_label(std::size_t series)
{
    return std::string(logread::series_names[series]);
}

} // namespace

std::vector<std::string> live_view::screen(double now) const
{
    std::vector<std::string> lines;
    char text[160];
    std::snprintf(text, sizeof text, "%s   %s", state_.path().c_str(), readable_time(now, zone_).c_str());
    lines.emplace_back(text);
    lines.push_back(run_text());
    std::snprintf(text, sizeof text, "%llu rows, %.1f a second over the last minute",
                  static_cast<unsigned long long>(state_.rows()), state_.rows_per_second());
    lines.emplace_back(text);
    lines.push_back(reading_note());
    add_series_lines(lines, now);
    add_fault_lines(lines);
    lines.push_back(since_rows(now, true));
    return lines;
}

std::string live_view::summary_line(double now) const
{
    std::string line = readable_time(now, zone_) + " " + state_.path() + ": ";
    char text[64];
    std::snprintf(text, sizeof text, "%llu rows, %.1f/s;", static_cast<unsigned long long>(state_.rows()),
                  state_.rows_per_second());
    line += text;
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        line += " " + series_label(index) + " " + latest_cell(index, now);
        line += index == logread::vcxo || index == logread::dds2_rate ? ";" : "";
    }
    for (std::size_t index = 0; index < logread::fault_count; ++index) {
        line += (starts_kind(index) ? "; " : " ") + fault_label(index, " ") + " " +
                std::to_string(state_.faults()[index]);
    }
    line += "; " + since_rows(now, false);
    const std::string note = reading_note();
    return note.empty() ? line : line + "; " + note;
}

std::string live_view::run_text() const
{
    const std::optional<run_began>& run = state_.run();
    if (!run) {
        return "no start line read: rows are timed by their elapsed seconds";
    }
    return "run " + std::to_string(run->run) + " started " +
           run_start_text(run->start_time, run->ctime_text, zone_);
}

std::string live_view::reading_note() const
{
    if (const std::string problem = logread::follow_problem(state_.reading()); !problem.empty()) {
        return "can't read " + state_.path() + ": " + problem;
    }
    if (!state_.file_open()) {
        return "waiting for " + state_.path() + " to appear";
    }
    return {};
}

// The last row's age beside the last complete row's: rows that go on
// without a complete one mean a unit that does not answer; no rows at all,
// an fslog that has stopped (or a log written elsewhere).
std::string live_view::since_rows(double now, bool alarm) const
{
    const std::optional<double>& complete = state_.last_complete();
    const std::string rows = ago("row", state_.last_row(), now) + ", ";
    const double age = complete ? std::max(0.0, now - *complete) : 0;
    if (complete && age > stale_after_seconds && alarm) {
        return rows + terminal_screen::alarm(" NO COMPLETE ROW FOR " + span_text(age) + " ");
    }
    return rows + ago("complete row", complete, now);
}

std::string live_view::latest_cell(std::size_t series, double now) const
{
    return number(state_.latest(series), format_of(series)) + (state_.stale(series, now) ? stale_mark : "");
}

bool live_view::any_stale(double now) const
{
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        if (state_.stale(index, now)) {
            return true;
        }
    }
    return false;
}

void live_view::add_series_lines(std::vector<std::string>& lines, double now) const
{
    char text[160];
    lines.emplace_back(std::string(24, ' ') + "------- last minute -------  -------- last hour --------");
    std::snprintf(text, sizeof text, series_line, "", "latest", "min", "mean", "max", "min", "mean", "max");
    lines.emplace_back(text);
    for (std::size_t index = 0; index < logread::series_count; ++index) {
        const char* format = format_of(index);
        const std::string minute_cells = window_cells(state_.recent(index, minute_seconds), format);
        const std::string hour_cells = window_cells(state_.recent(index, hour_seconds), format);
        std::snprintf(text, sizeof text, "%-11s %10s  %s  %s", series_label(index).c_str(),
                      latest_cell(index, now).c_str(), minute_cells.c_str(), hour_cells.c_str());
        lines.emplace_back(text);
    }
    char stale_note[40] = "";
    if (any_stale(now)) {
        std::snprintf(stale_note, sizeof stale_note, "   (%s older than %.0f s)", stale_mark,
                      stale_after_seconds);
    }
    std::snprintf(text, sizeof text, "dds 1 %s, dds 2 %s%s", number(state_.dds1()).c_str(),
                  number(state_.dds2()).c_str(), stale_note);
    lines.emplace_back(text);
    lines.emplace_back();
}

// The faults' counts under their labels, in all and in the last hour.
void live_view::add_fault_lines(std::vector<std::string>& lines) const
{
    std::string heading;
    std::size_t width = fault_label_width;
    for (std::size_t index = 0; index < logread::fault_count; ++index) {
        heading += " " + right_aligned(fault_label(index, ": "), fault_widths[index]);
        width += 1 + fault_widths[index];
    }
    lines.push_back(right_aligned(heading, width));
    const auto add = [&lines](const std::string& label, const fault_counts& counts) {
        std::string line = label + padding(label, fault_label_width);
        for (std::size_t index = 0; index < counts.size(); ++index) {
            line += " " + right_aligned(std::to_string(counts[index]), fault_widths[index]);
        }
        lines.push_back(line);
    };
    add("  in all", state_.faults());
    add("  in the last hour", state_.faults_in_last_hour());
    lines.emplace_back();
}

} // namespace report
