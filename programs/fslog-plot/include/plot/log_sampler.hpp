// fslog-plot's view of the log: each row becomes a sample at its place on
// the time axis and goes into the bins. The axis is real time (the row's
// absolute time, seconds since the epoch) when the log says when its run
// started, and the elapsed seconds of one run otherwise, or with --elapsed.
#pragma once

#include "logread/dds_rate.hpp"
#include "logread/line_reader.hpp"
#include "logread/pauses.hpp"
#include "logread/skipped_line_notes.hpp"
#include "plot/bins.hpp"
#include "plot/options.hpp"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace plot {

enum class time_axis { real_time, elapsed };

class log_sampler : public logread::log_events {
public:
    log_sampler(const options& given, std::size_t columns);

    // The log whose lines come next, for messages about skipped lines.
    void on_file(const std::string& name) override { source_ = name; }
    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;
    void on_skipped(const logread::skipped_line& line) override;
    void on_file_end() override;

    // Set when the window can't be placed on this log; the rest is then ignored.
    const std::string& problem() const { return problem_; }
    // Available once a row was read.
    time_axis axis() const { return axis_; }
    bool elapsed_for_want_of_start() const { return no_start_time_; }
    const std::optional<bin_set>& bins() const { return bins_; }

    std::uint64_t rows_read() const { return rows_read_; }
    // Rows of the log that the axis can't place: without an absolute time
    // on a time-of-day axis, or of another run on an elapsed one.
    std::uint64_t rows_off_axis() const { return rows_off_axis_; }

private:
    void choose_axis(const logread::row_event& first);
    std::optional<double> place(const std::optional<time_point>& end);
    std::optional<double> x_of(const logread::row_event& row) const;

    options given_; // a copy: the sampler may outlive the caller's
    std::size_t columns_;
    std::string source_;
    logread::skipped_line_notes notes_;
    std::string problem_;
    time_axis axis_ = time_axis::real_time;
    bool no_start_time_ = false;
    std::size_t axis_run_ = 0;                  // the run an elapsed axis shows
    std::optional<std::time_t> run_start_time_; // of the run being read
    std::optional<std::time_t> first_start_;    // of the first row's run
    std::optional<bin_set> bins_;
    logread::dds_rate rate_;
    logread::pause_watch pauses_;
    std::uint64_t rows_read_ = 0;
    std::uint64_t rows_off_axis_ = 0;
};

} // namespace plot
