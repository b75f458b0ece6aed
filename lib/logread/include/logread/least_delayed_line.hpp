// logread: a straight line through the DDS 2 phase where the readings'
// times are known to one side only. A reading comes after its row's
// elapsed time, by the ADC exchange, and before the next row's, by the
// tuning exchange and the row's writing; each delay is never negative and
// varies with the host, now and then by seconds.
//
// Of each second's readings, the one least delayed is kept: against times
// that come before the readings, the one whose count lies lowest against
// the line; against times that come after, the highest. A kept reading far
// off the line through the seconds just before it, further than five times
// the usual such distance, is left out: a second in which every reading
// came late (a stalled host) would pull the line. A stretch's first nine
// seconds are judged together, once all are in; a stretch shorter than
// that is too short to judge and is left out. The line is fitted by least
// squares to the rest, with the slope's standard error; after a step of
// the counter the phase goes on with an offset of its own and the same
// slope.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace logread {

// A reading's time and its phase, in counts against a reference line.
struct timed_phase {
    double elapsed;
    double phase;
};

class least_delayed_line {
public:
    enum class times { before_readings, after_readings };
    explicit least_delayed_line(times given) : sign_(given == times::before_readings ? 1 : -1) {}

    // A reading. When it starts a new second: the second before's kept
    // reading, unless it was left out (a stretch's first seconds, judged
    // only once there are enough, are given at once).
    std::optional<timed_phase> add(double elapsed, double phase);
    // The counter stepped: the second being read is closed (its kept
    // reading given, as by add), and the phase after has an offset of its own.
    std::optional<timed_phase> step();

    // Counts a second against the reference line, and its standard error;
    // nothing before two seconds.
    std::optional<double> slope() const;
    std::optional<double> slope_error() const;
    // From the first second fitted to the last.
    double seconds() const { return count_ > 0 ? last_t_ - first_t_ : 0; }

private:
    std::optional<timed_phase> close_second();
    double recent_slope() const;
    void fit_first_seconds();
    bool far_off(const timed_phase& kept);
    double outlier_limit() const;
    void fit(const timed_phase& kept);
    double picking_slope() const;
    double tt() const { return before_tt_ + c_tt_; }
    double ty() const { return before_ty_ + c_ty_; }

    double sign_;                        // +1 where the times come before the readings
    std::optional<std::int64_t> second_; // the second being read
    timed_phase best_{};                 // its least-delayed reading

    // The kept readings of the last seconds since a step, and how far each
    // lay off the line through those before it (the first few, off the line
    // through them all).
    static constexpr std::size_t neighbours = 9;
    static constexpr std::size_t spread_seconds = 63;
    std::array<double, neighbours> recent_levels(double line_slope) const;
    std::array<timed_phase, neighbours> recent_{};
    std::size_t recent_count_ = 0;
    std::array<double, spread_seconds> distances_{};
    std::size_t distance_count_ = 0;

    // The fit, as running means and co-moments (Welford's way) since the
    // last step, and the co-moments before it.
    std::uint64_t count_ = 0;
    std::uint64_t segment_count_ = 0;
    std::uint64_t segments_ = 0;
    double first_t_ = 0;
    double last_t_ = 0;
    double mean_t_ = 0;
    double mean_y_ = 0;
    double c_tt_ = 0;
    double c_ty_ = 0;
    double c_yy_ = 0;
    double before_tt_ = 0;
    double before_ty_ = 0;
    double before_yy_ = 0;
};

} // namespace logread
