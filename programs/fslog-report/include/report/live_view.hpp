// fslog-report --follow: what a log still being written shows now. The
// newest values (marked when older than 30 s), the last minute and hour of
// each series, rows per second, failures and notes per group, and the time
// since the last row beside the time since the last complete row: a unit
// that does not answer still gets rows, a stopped fslog writes none. The
// screen fits 80 columns.
#pragma once

#include "logread/dds_rate.hpp"
#include "logread/follow.hpp"
#include "logread/line_reader.hpp"
#include "logread/local_time.hpp"
#include "logread/row_facts.hpp"
#include "report/recent_window.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace report {

// Past this, a value is marked as stale, and the time since the last
// complete row is shown as an alarm.
inline constexpr double stale_after_seconds = 30;

class live_view : public logread::log_events {
public:
    // Times are shown in `zone`.
    live_view(std::string path, logread::time_zone zone);

    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;

    // How the last read of the file went: shown while it is missing or failing.
    void set_reading(const logread::follow_result& result, bool file_open);

    // The screen at wall-clock time `now` (seconds since the epoch).
    std::vector<std::string> screen(double now) const;
    // One line of the same, for a log kept by something other than a terminal.
    std::string summary_line(double now) const;

private:
    void take_values(const logread::row_event& row, double clock, double written);
    void take_faults(const logread::row_values& values, double clock);
    std::string reading_note() const;
    std::string since_rows(double now, bool alarm) const;
    std::string latest_cell(std::size_t series, double now) const;
    bool any_stale(double now) const;
    double rows_per_second() const;
    void add_series_lines(std::vector<std::string>& lines, double now) const;
    void add_fault_lines(std::vector<std::string>& lines) const;

    std::string path_;
    logread::time_zone zone_;
    std::string run_text_;
    logread::dds_rate rate_;
    logread::recent_rate recent_rate_; // the latest rate: over the last 10 s of readings
    std::uint64_t rows_ = 0;
    // The rows' clock: their absolute time, or their elapsed seconds where
    // the run's start is not known.
    double clock_ = 0;
    double clock_start_ = 0; // first row on this clock
    logread::series_values latest_;
    // When each latest value was logged: its row's time, or, without one,
    // the wall-clock time it was read.
    std::array<double, logread::series_count> latest_at_{};
    std::optional<double> dds1_;
    std::optional<double> dds2_;
    std::vector<recent_window> windows_;       // one per series
    std::vector<recent_window> fault_windows_; // one per fault
    recent_window row_window_;
    std::array<std::uint64_t, logread::fault_count> faults_{};
    std::optional<double> last_row_;      // wall-clock time of the last row, likewise
    std::optional<double> last_complete_; // and of the last complete row
    logread::follow_result reading_;
    bool file_open_ = false;
};

} // namespace report
