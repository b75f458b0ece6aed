// fslog-report --follow: what a log still being written shows now. The
// newest values, the last minute and hour of each series, rows per second,
// failures and notes per group, and the time since the last complete row.
#pragma once

#include "logread/dds_rate.hpp"
#include "logread/follow.hpp"
#include "logread/line_reader.hpp"
#include "report/recent_window.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace report {

// Past this, the time since the last complete row is shown as an alarm.
inline constexpr double stale_after_seconds = 30;

class live_view : public logread::log_events {
public:
    explicit live_view(std::string path);

    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;

    // How the last read of the file went: shown while it is missing or failing.
    void set_reading(const logread::follow_result& result, bool file_open);

    // The screen at wall-clock time `now` (seconds since the epoch).
    std::vector<std::string> screen(double now) const;
    // One line of the same, for a log kept by something other than a terminal.
    std::string summary_line(double now) const;

private:
    enum series { rail, trimpot, temperature, vcxo, rate, tuning, series_count };
    enum fault { adc_failed, dds_failed, tuning_failed, dds_cs_bad, tuning_cs_bad, fault_count };

    void take_values(const logread::row_event& row, double clock);
    void take_faults(const logread::row_values& values, double clock);
    std::string reading_note() const;
    std::string since_complete(double now, bool alarm) const;
    double rows_per_second() const;
    void add_series_lines(std::vector<std::string>& lines) const;
    void add_fault_lines(std::vector<std::string>& lines) const;

    std::string path_;
    std::string run_text_;
    logread::dds_rate rate_;
    std::uint64_t rows_ = 0;
    // The rows' clock: their absolute time, or their elapsed seconds where
    // the run's start is not known.
    double clock_ = 0;
    double clock_start_ = 0; // first row on this clock
    std::array<std::optional<double>, series_count> latest_;
    std::optional<double> dds1_;
    std::optional<double> dds2_;
    std::vector<recent_window> windows_;       // one per series
    std::vector<recent_window> fault_windows_; // one per fault
    recent_window row_window_;
    std::array<std::uint64_t, fault_count> faults_{};
    std::optional<double> last_complete_; // wall-clock time of the last complete row
    logread::follow_result reading_;
    bool file_open_ = false;
};

} // namespace report
