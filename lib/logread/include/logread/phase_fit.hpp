// logread: the DDS 2 rate of a run as the unit's, not the host's timing.
// Each reading comes late by its ADC exchange (18 ms or so, far longer on
// a busy host), so the counts over a short span measure the host. But a
// reading's time is bounded on both sides: it comes after its row's
// elapsed time and before the next row's. Against each bound a line is
// fitted to the least-delayed reading of each second
// (least_delayed_line.hpp), and the rate is the mean of the two lines'
// slopes. Its uncertainty is the standard error of that mean with half
// the slopes' difference. Across a change of rate the slope is the
// time-weighted mean of the two rates only where the change lies halfway.
//
// The same least-delayed phase, against the rows' own times, gives the
// unit's stability: the overlapping Allan deviation at 10 s, over the
// seconds where the phase 10 and 20 s before is known too; and the rates
// over 2 s and over consecutive windows of 10 s, for the pictures.
#pragma once

#include "logread/least_delayed_line.hpp"
#include "logread/rate_span.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace logread {

// What a second's least-delayed reading gives, as the next second starts.
struct kept_second {
    // The span to it from that of the second two before (or of the last
    // with one), if both came since the last step.
    std::optional<rate_span> settled;
    // The rate from the kept reading that began the window, when it is
    // 10 s or more before it and came since the last step.
    std::optional<double> window;
};

class phase_fit {
public:
    static constexpr std::int64_t adev_tau = 10;
    static constexpr double window_seconds = 10;

    // A reading at its row's `elapsed` seconds, `phase` counts on from the
    // run's first; `rate` a rough rate to start from (counts a second).
    // When it starts a new second: what the second before's least-delayed
    // reading gives.
    kept_second add(double elapsed, double phase, double rate);
    // The reading given last, bounded by the next row's `elapsed` seconds.
    void add_next_row(double elapsed, double phase);
    // The counter stepped: the phase goes on from an unknown offset.
    void step();

    // Counts a second, and its standard error; nothing before two seconds.
    std::optional<double> rate() const;
    std::optional<double> rate_error() const;
    // ADEV(10 s) of the least-delayed phase, a fraction; nothing before 21 s.
    std::optional<double> adev() const;
    // From the first second fitted to the last.
    double seconds() const { return after_row_.seconds(); }

private:
    kept_second take_kept(std::optional<timed_phase> kept);
    std::optional<double> close_window(const timed_phase& kept);
    rate_span span_between(const timed_phase& from, const timed_phase& to) const;
    double residual(double elapsed, double phase) const
    {
        return phase - reference_rate_ * (elapsed - origin_);
    }

    bool started_ = false;
    double origin_ = 0;
    double reference_rate_ = 0;
    least_delayed_line after_row_{least_delayed_line::times::before_readings};
    least_delayed_line before_next_row_{least_delayed_line::times::after_readings};
    // The least-delayed reading of each of the last 2 tau seconds, for
    // ADEV(10 s): when it came, and its phase against the rate.
    std::array<std::optional<timed_phase>, 2 * adev_tau + 1> recent_{};
    std::optional<timed_phase> span_start(std::int64_t second) const;
    std::optional<std::int64_t> recent_second_;
    double adev_sum_ = 0;
    std::uint64_t adev_terms_ = 0;
    std::optional<timed_phase> window_start_;
};

// The figures of several fits (a run's stretches between changes of rate,
// or runs), each weighted by the seconds it covers.
struct fitted_rate {
    double seconds = 0;
    double rate_seconds = 0;  // sum of rate times seconds
    double error_squares = 0; // sum of (error times seconds) squared
    double adev_squares = 0;  // sum of ADEV squared times seconds
    double adev_seconds = 0;

    void add(const phase_fit& fit);
    void add(const fitted_rate& other);
    std::optional<double> rate() const;
    std::optional<double> error() const;
    std::optional<double> adev() const;
};

} // namespace logread
