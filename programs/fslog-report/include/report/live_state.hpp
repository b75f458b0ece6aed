// fslog-report --follow's picture of a log still being written, built from
// its rows as they come: the newest value of each series and when it was
// logged, the last minute and hour of each series and each fault, rows per
// second, the faults in all, and when the last row and the last complete
// row came (a unit that does not answer still gets rows, a stopped fslog
// writes none). live_view.hpp puts it on the screen.
#pragma once

#include "logread/dds_rate.hpp"
#include "logread/file_follower.hpp"
#include "logread/line_reader.hpp"
#include "logread/per_second_bins.hpp"
#include "logread/row_facts.hpp"
#include "logread/running_stats.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace report {

// Past this, a value is stale, and so is the last complete row.
inline constexpr double stale_after_seconds = 30;
// The spans the live view looks back over; no figure goes further back.
inline constexpr std::size_t minute_seconds = 60;
inline constexpr std::size_t hour_seconds = 3600;

// The run being read, as its start line gave it.
struct run_began {
    std::size_t run = 0;
    std::optional<std::time_t> start_time;
    std::string ctime_text;
};

using fault_counts = std::array<std::uint64_t, logread::fault_count>;

// A series' values over the last hour, one bin per second. A value from a
// little before the newest one goes into the newest one's second.
using recent_values = logread::per_second_bins<logread::running_stats, &logread::running_stats::merge>;

class live_state : public logread::log_events {
public:
    explicit live_state(std::string path);

    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;

    // How the last read of the file went, and whether a file is open.
    void set_reading(const logread::follow_result& result, bool file_open);

    const std::string& path() const { return path_; }
    const logread::follow_result& reading() const { return reading_; }
    bool file_open() const { return file_open_; }
    // Nothing until a start line has been read.
    const std::optional<run_began>& run() const { return run_; }

    std::uint64_t rows() const { return rows_; }
    // Over the last minute of the rows' clock.
    double rows_per_second() const;

    // A series' newest value; the DDS 2 rate's is that of the least-delayed
    // readings of the last 10 s, taken anew each second.
    const std::optional<double>& latest(std::size_t series) const { return latest_[series]; }
    // Whether the series' newest value was logged longer than
    // stale_after_seconds before `now`.
    bool stale(std::size_t series, double now) const;
    // A series' values over the last `seconds` of the rows' clock (at most
    // an hour); the DDS 2 rate's are its newest values, one a second.
    logread::running_stats recent(std::size_t series, std::size_t seconds) const;
    const std::optional<double>& dds1() const { return dds1_; }
    const std::optional<double>& dds2() const { return dds2_; }

    // Rows with each fault, in all and over the last hour of the rows' clock.
    const fault_counts& faults() const { return faults_; }
    fault_counts faults_in_last_hour() const;

    // Wall-clock times (seconds since the epoch) of the last row and of the
    // last complete row: their own time, or when they were read where the
    // run's start is not known.
    const std::optional<double>& last_row() const { return last_row_; }
    const std::optional<double>& last_complete() const { return last_complete_; }

private:
    void take_values(const logread::row_event& row, double clock, double written);
    void take_faults(const logread::row_values& values, double clock);

    std::string path_;
    std::optional<run_began> run_;
    logread::dds_rate rate_;
    logread::recent_rate recent_rate_; // the latest rate: over the last 10 s of least-delayed readings
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
    std::vector<recent_values> windows_;       // one per series
    std::vector<recent_values> fault_windows_; // one per fault
    recent_values row_window_;
    fault_counts faults_{};
    std::optional<double> last_row_;
    std::optional<double> last_complete_;
    logread::follow_result reading_;
    bool file_open_ = false;
};

} // namespace report
