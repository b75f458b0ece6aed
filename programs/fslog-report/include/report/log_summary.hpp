// A log's health in figures, per run and for all runs together, gathered
// in one pass from the log library's events.
#pragma once

#include "logread/coverage.hpp"
#include "logread/dds_rate.hpp"
#include "logread/line_reader.hpp"
#include "logread/pauses.hpp"
#include "logread/row_facts.hpp"
#include "logread/running_stats.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

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
    // Rows with each fault: without a query's group, or with "(CS bad!)" at it.
    std::array<std::uint64_t, logread::fault_count> faults{};
    stretch longest_gap;
    // Each series' figures; the DDS 2 rate's are those of its 10 s windows.
    std::array<logread::running_stats, logread::series_count> series;
    // The DDS 2 rate over the whole span, and the readings left out as jumps.
    logread::rate_span dds2;
    std::uint64_t dds2_jumps = 0;
    // The rate fitted to the least-delayed readings (logread::phase_fit),
    // its standard error and ADEV(10 s), over the seconds fitted; all runs'
    // weighted by those seconds. Set by close().
    logread::fitted_rate dds2_fit;
    // The time: from the first row to the last, of it the time between runs
    // (for a run, since the run before it ended), and the time covered by a
    // fresh complete row (see logread::time_coverage). Set by close().
    double span_s = 0;
    double between_runs_s = 0;
    double covered_s = 0;
    // Of the time within runs, that lost to pauses (see logread::pause_watch);
    // the rest of the uncovered time went on failed queries.
    double paused_s = 0;
    // fslog's messages instead of a run: a run's are those in the gap
    // before it, the total's all of them.
    std::uint64_t failed_starts = 0;
};

// What a log_summary passes on as it reads: each run's figures once the
// run has ended, and what a start line's time needs said (see
// logread::describe).
class summary_events {
public:
    virtual ~summary_events() = default;
    virtual void on_run_end(const summary& run) = 0;
    virtual void on_start_note(const std::string& note) = 0;
};

// Feed it a log through a line_reader; after the reader's finish(), call
// close() to end the last run, then read the total. It keeps only the run
// being read: its memory doesn't grow with the log, nor with its runs.
class log_summary : public logread::log_events {
public:
    explicit log_summary(summary_events& out) : out_(out) {}

    void on_file(const std::string& name) override { source_ = name; }
    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;
    void on_skipped(const logread::skipped_line& line) override;
    void on_failed_start(const logread::failed_start& start) override;

    // The last run has ended: its stretch to its last row and its time
    // coverage count now, and it is passed on.
    void close();

    // The runs so far, those without rows too.
    std::size_t runs() const { return runs_; }
    const summary& total() const { return total_; }
    std::uint64_t skipped_lines() const { return skipped_; }
    // Failed starts after the last run (or in a log without runs).
    std::uint64_t failed_starts_after_last_run() const { return failed_starts_since_run_; }

private:
    summary& begin_run();
    summary& current_run();
    void end_stretch(summary& run, const row_time& end);

    summary_events& out_;
    std::optional<summary> run_; // the run being read
    std::size_t runs_ = 0;
    summary total_;
    std::optional<row_time> since_complete_; // where the current stretch began
    logread::time_coverage coverage_;        // of the current run
    std::optional<double> last_time_;        // of the last row with an absolute time
    logread::dds_rate rate_;
    logread::pause_watch pauses_;
    std::uint64_t skipped_ = 0;
    std::string source_; // the file being read, for messages
    std::uint64_t failed_starts_since_run_ = 0;
};

} // namespace report
