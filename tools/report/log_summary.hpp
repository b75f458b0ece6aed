// A log's health in figures, per run and for all runs together, gathered
// in one pass from the log library's events.
#pragma once

#include "logread/coverage.hpp"
#include "logread/dds_rate.hpp"
#include "logread/line_reader.hpp"
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
    std::size_t run = 0;                   // 1, 2, ... in the order of their start lines; 0 before the first
    std::string started;                   // the start line's ctime text, empty without one
    std::optional<std::time_t> start_time; // when the start line gives one
    row_time first;
    row_time last;
    std::uint64_t rows = 0;
    std::uint64_t complete_rows = 0; // with all three groups
    // Rows without each query's group, in the order of logread::all_queries.
    std::array<std::uint64_t, logread::all_queries.size()> failures{};
    // "(CS bad!)" at each checked query's group, in the order of logread::checked_queries.
    std::array<std::uint64_t, logread::checked_queries.size()> cs_bad{};
    stretch longest_gap;
    // Each series' figures; the DDS 2 rate's are those of its 10 s windows.
    std::array<logread::running_stats, logread::series_count> series;
    // The DDS 2 rate over the whole span, and the readings left out as jumps.
    logread::rate_span dds2;
    std::uint64_t dds2_jumps = 0;
    // The time: from the first row to the last, of it the time between runs
    // (for a run, since the run before it ended), and the time covered by a
    // fresh complete row (see logread::time_coverage). Set by close().
    double span_s = 0;
    double between_runs_s = 0;
    double covered_s = 0;
    // fslog's messages instead of a run: a run's are those in the gap
    // before it, the total's all of them.
    std::uint64_t failed_starts = 0;
};

// Feed it a log through a line_reader; after the reader's finish(), call
// close() and read the runs and the total. Memory grows with the number of
// runs only.
class log_summary : public logread::log_events {
public:
    void on_file(const std::string& name) override { source_ = name; }
    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;
    void on_skipped(const logread::skipped_line& line) override;
    void on_failed_start(const logread::failed_start& start) override;

    // The last run has ended: its stretch to its last row and its time
    // coverage count now.
    void close();

    // The runs in log order, those without rows too.
    const std::vector<summary>& runs() const { return runs_; }
    const summary& total() const { return total_; }
    std::uint64_t skipped_lines() const { return skipped_; }
    // What the start lines' times need said (see logread::describe).
    const std::vector<std::string>& start_notes() const { return start_notes_; }
    // Failed starts after the last run (or in a log without runs).
    std::uint64_t failed_starts_after_last_run() const { return failed_starts_since_run_; }

private:
    summary& current_run();
    void end_stretch(summary& run, const row_time& end);

    std::vector<summary> runs_;
    summary total_;
    std::optional<row_time> since_complete_; // where the current stretch began
    logread::time_coverage coverage_;        // of the current run
    std::optional<double> last_time_;        // of the last row with an absolute time
    logread::dds_rate rate_;
    std::uint64_t skipped_ = 0;
    std::string source_; // the file being read, for messages
    std::vector<std::string> start_notes_;
    std::uint64_t failed_starts_since_run_ = 0;
};

} // namespace report
