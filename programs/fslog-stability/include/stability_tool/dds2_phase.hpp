// stability_tool: the DDS 2 counter of a log's rows as phase against the
// host's clock, one value per bin of tau0 seconds.
//
// x = C/R0 - t: C is the count since the segment's first reading, the
// deltas summed (those of readings whose time is unknown too, so that the
// sum telescopes), t the reading's time since then, R0 the segment's
// nominal rate (given, or its own: the slope of a line fitted to the counts
// of its timed readings over their times, by least squares). Each reading comes late by the ADC exchange
// before it (18 ms as a rule, 108 ms at worst), which adds to x: each bin
// takes its least-delayed reading, the one of least x. A gap of at most
// max_interpolated seconds is filled linearly in phase, since the counter
// counted through it. A reading more than late_seconds late on the phase
// of the one before (the host stalled before the DDS query), or more than
// jump_seconds early, is left out. A new run, or a counter that jumped (the
// readings of confirm_seconds or more more than jump_seconds off the phase
// before, that agree with each other: a host slow twice in a row makes two
// readings late alike), starts a new segment, with a gap before it that no
// term spans. The rate for these checks is the segment's fit so far, once it
// spans 10 s (or the one given); until then, after a jump, the segment
// before's.
//
// Readings left out: those whose time is unknown (before any start line,
// or after a failed ADC query in the same row), a reply that failed its
// payload check, and a reading off the phase.
#pragma once

#include "logread/line_reader.hpp"
#include "stability_tool/bin_timeline.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace stability_tool {

class dds2_phase : public logread::log_events {
public:
    static constexpr double max_interpolated = 10; // seconds
    static constexpr double late_seconds = 0.2;
    static constexpr double jump_seconds = 0.5;
    static constexpr double confirm_seconds = 2;

    // `r0`: the counter's nominal rate, counts per second; each segment's
    // own when not given.
    dds2_phase(double tau0, std::optional<double> r0, bool keep_readings);

    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;
    // The series, once every row was read.
    even_series finish();

private:
    struct reading {
        double count; // since the segment's first reading
        double time;  // seconds since the epoch
    };

    // Least squares of count on time, in running sums.
    struct line_fit {
        double n = 0, sum_t = 0, sum_c = 0, sum_tt = 0, sum_tc = 0;
        void add(double time, double count);
        double slope() const;
    };

    void take(const reading& at);
    // How much later in phase the later reading lies than the earlier;
    // nothing before the rate is known.
    std::optional<double> lateness(const reading& earlier, const reading& later) const;
    double phase_of(const reading& at, double rate) const;
    std::optional<double> rate() const;
    void flush();
    void end_segment();
    void fill_short_gaps(std::span<double> values) const;

    double tau0_;
    std::optional<double> r0_;
    bin_timeline timeline_;
    double count_ = 0;
    std::optional<reading> first_timed_; // the segment's
    std::optional<reading> last_timed_;  // the last reading kept
    line_fit fit_;                       // of the segment's timed readings kept
    // The rate of the run's segment before, until this one's own is known:
    // a counter that jumped goes on at its rate.
    std::optional<double> rate_before_;
    std::optional<reading> suspect_;  // the reading before, left out as off the phase
    std::optional<std::int64_t> bin_; // the bin being filled
    std::optional<reading> best_;     // its least-delayed reading
    std::size_t bin_readings_ = 0;
    std::optional<std::size_t> segment_begin_; // the segment's first index in the series
    std::int64_t segment_first_bin_ = 0;
    // While a segment lasts the series holds each bin's count, and this its
    // reading's time after the bin's start; both become phase as it ends.
    std::vector<float> offsets_;
    bool run_begins_ = true; // the next reading is a run's first: its delta is no delta
};

} // namespace stability_tool
