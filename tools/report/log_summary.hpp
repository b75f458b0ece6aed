// A log's health in figures, per run and for all runs together, gathered
// in one pass from the log library's events.
#pragma once

#include "logread/dds_rate.hpp"
#include "logread/line_reader.hpp"
#include "report/running_stats.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace report {

// When a row was: its absolute time where its run's start is known, and its
// elapsed seconds in the run always.
struct row_time {
    std::optional<double> time;
    double elapsed = 0;
};

// The longest stretch without a complete row: from the last complete row
// (or the run's first row) to the next complete row (or the run's last row).
struct stretch {
    double seconds = 0;
    row_time began;
};

struct summary {
    std::size_t run = 0; // 1, 2, ... in the order of their start lines; 0 before the first
    std::string started; // the start line's ctime text, empty without one
    row_time first;
    row_time last;
    std::uint64_t rows = 0;
    std::uint64_t complete_rows = 0;         // with all three groups
    std::array<std::uint64_t, 3> failures{}; // rows without the adc, dds or tuning group
    std::array<std::uint64_t, 2> cs_bad{};   // "(CS bad!)" at the dds or tuning group
    stretch longest_gap;
    std::array<running_stats, 4> channels; // rail, trimpot, temperature, vcxo
    running_stats dds2_rate;               // counts per second
    running_stats tuning;
    // fslog's messages instead of a run: a run's are those in the gap
    // before it, the total's all of them.
    std::uint64_t failed_starts = 0;
};

inline constexpr std::array<const char*, 4> channel_names{"rail", "trimpot", "temperature", "vcxo"};
inline constexpr std::array<const char*, 3> query_names{"adc", "dds", "tuning"};
inline constexpr std::array<const char*, 2> checked_query_names{"dds", "tuning"};

// Feed it a log through a line_reader; after the reader's finish(), call
// close() and read the runs and the total. Memory grows with the number of
// runs only.
class log_summary : public logread::log_events {
public:
    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;
    void on_skipped(const logread::skipped_line& line) override;
    void on_failed_start(const logread::failed_start& start) override;

    // The last run has ended: its stretch to its last row counts now.
    void close();

    // The runs in log order, those without rows too.
    const std::vector<summary>& runs() const { return runs_; }
    const summary& total() const { return total_; }
    std::uint64_t skipped_lines() const { return skipped_; }
    // Failed starts after the last run (or in a log without runs).
    std::uint64_t failed_starts_after_last_run() const { return failed_starts_since_run_; }

private:
    summary& current_run();
    void end_stretch(summary& run, const row_time& end);

    std::vector<summary> runs_;
    summary total_;
    std::optional<row_time> since_complete_; // where the current stretch began
    logread::dds_rate rate_;
    std::uint64_t skipped_ = 0;
    std::uint64_t failed_starts_since_run_ = 0;
};

} // namespace report
