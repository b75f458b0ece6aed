// fslog-plot's reduction: each series of the log becomes one bin per pixel
// column (the count, minimum, mean and maximum of the values that fall in
// it), with a count per bin of each kind of fault. Memory is fixed by the
// number of columns, whatever the log's length.
//
// The span is not known until the log has been read, so values first go
// into a finer set of bins that doubles its width (pairing neighbours) when
// a value lands beyond its end. At the end the fine bins are gathered into
// the final ones, each fine bin whole into the final bin that holds its
// middle: final bins are at least twice as wide as fine ones, so a bin's
// edges are off by at most a quarter of its width.
#pragma once

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
    std::array<logread::running_stats, logread::series_count> series{};
    std::array<std::uint32_t, logread::fault_count> faults{};

    void merge(const bin& other);
};

// One row's contribution: its place on the x axis, its values (empty where
// the row has none) and its faults.
struct sample {
    double x = 0;
    logread::series_values values{};
    std::array<bool, logread::fault_count> faults{};
};

struct binned {
    double first = 0; // bin i spans [first + i * width, first + (i + 1) * width)
    double width = 0;
    std::vector<bin> bins;
};

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
};

} // namespace plot
