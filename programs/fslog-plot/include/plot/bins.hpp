// fslog-plot's reduction: each series of the log becomes one bin per pixel
// column (the count, minimum, mean and maximum of the values that fall in
// it), with a count per bin of each kind of fault, the DDS 2 rate's counts
// and seconds between least-delayed readings and its jumps. Memory is fixed by the number of columns,
// whatever the log's length, but for the place of each run.
//
// The span is not known until the log has been read, so values first go
// into a finer set of bins that doubles its width (pairing neighbours) when
// a value lands beyond its end. At the end the fine bins are gathered into
// the final ones, each fine bin whole into the final bin that holds its
// middle: final bins are at least twice as wide as fine ones, so a bin's
// edges are off by at most a quarter of its width.
#pragma once

#include "logread/dds_rate.hpp"
#include "logread/row_facts.hpp"
#include "logread/running_stats.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace plot {

struct bin {
    std::uint64_t rows = 0;
    // The DDS 2 rate's are its 10 s windows.
    std::array<logread::running_stats, logread::series_count> series{};
    std::array<std::uint32_t, logread::fault_count> faults{};
    // The spans between least-delayed readings a second or two apart
    // that closed here (up to a second or two after their readings): the
    // column's rate, which a reading delayed by the host can't move.
    logread::rate_span dds2;
    std::uint32_t dds2_jumps = 0; // DDS 2 readings left out as jumps
    std::uint32_t pauses = 0;     // rows after which fslog had paused

    void merge(const bin& other);
};

// One row's contribution: its place on the x axis, its run, its values
// (empty where the row has none), its faults and what it gives the rate.
struct sample {
    double x = 0;
    std::size_t run = 0;
    logread::series_values values{};
    std::array<bool, logread::fault_count> faults{};
    logread::rate_reading dds2{};
    double paused_s = 0; // fslog paused before this row
};

// Where a run's rows lie on the axis.
struct run_extent {
    double first = 0;
    double last = 0;
};

struct binned {
    double first = 0; // bin i spans [first + i * width, first + (i + 1) * width)
    double width = 0;
    std::vector<bin> bins;
    // Of the rows taken, in log order; runs that begin within a column of
    // the one before are one extent.
    std::vector<run_extent> runs;

    double middle(std::size_t i) const { return first + (static_cast<double>(i) + 0.5) * width; }
};

// What a column shows of a series: the band from `low` to `high`, and the line.
struct column {
    double low = 0;
    double high = 0;
    double line = 0;
};

// The readings' lowest, highest and mean; for the DDS 2 rate, the column's
// rate (its least-delayed spans' counts over their seconds) as the line, within a band
// from the lowest to the highest of the 10 s windows that closed in it.
// Nothing where the bin has none.
std::optional<column> column_of(const bin& at, logread::series which);

class bin_set {
public:
    // At most `columns` bins in the end, none narrower than `min_width`
    // (so that a short log isn't all gaps between its rows). `from` and `to`
    // fix the ends; samples outside them are left out. Without `from` the
    // first sample starts the bins, and a later one before it is left out.
    bin_set(std::size_t columns, double min_width, std::optional<double> from, std::optional<double> to);

    void add(const sample& row);
    // Samples taken, and those left out for coming before the first.
    std::uint64_t taken() const { return taken_; }
    std::uint64_t before_first() const { return before_first_; }

    // The final bins; empty (no bins) when no sample was taken.
    binned finish() const;

private:
    void widen_to_hold(double x);
    double column_width() const;

    std::size_t columns_;
    double min_width_;
    std::optional<double> from_;
    std::optional<double> to_;
    std::vector<bin> fine_;
    double origin_ = 0;
    double fine_width_ = 0;
    double last_x_ = 0;
    std::uint64_t taken_ = 0;
    std::uint64_t before_first_ = 0;
    std::vector<run_extent> runs_;
    std::size_t last_run_ = 0;
};

} // namespace plot
