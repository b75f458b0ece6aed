// logread: the DDS 2 rate, in counts per second, as every log tool gives it.
//
// A row's delta dds2 spans the time from the DDS reading before it (a
// failed DDS query shows no reading, and the next delta spans the missed
// one). The rate over a span of the log is the sum of the deltas divided by
// the time between the readings, over consecutive readings whose times are
// known: each reading is timed by its row's elapsed time. Summed, the times
// telescope, so the ADC exchange that comes between a row's elapsed time
// and its DDS reading (longer on a busy host) counts only at the ends of
// the span, where a mean of each row's own ratio would weigh every short
// step after a slow exchange far too heavily.
//
// Readings whose time is not known are skipped, and their deltas carried
// into the next reading's: one whose ADC query failed, for the line was
// then reset (some 4 to 6 s) before the DDS query ran. So is a reading
// printed at the same elapsed time as the one before (rows less than 1 ms
// apart): its delta goes on into the next span. A run's first reading
// starts the sums (its delta is dds 2 itself), as does the first read when
// the log begins in the middle of a run, and one whose elapsed time comes
// before the reading before it (a clock set back).
//
// Jumps. A reading whose delta lies further than a second's worth of counts
// from what the run's typical rate (the median rate of its last 15 spans)
// gives over its time is held, and the readings after it decide what it
// was, once they span at least 2 s and as long as the held span:
//   - the held span and those after fit the typical rate together, alone
//     or with the span before the held one: only the held reading's time
//     was wrong, or that of the reading before it (the process paused
//     between the row's elapsed time and its DDS reading); all of it
//     counts;
//   - those after fit the typical rate, but not with the held one: the
//     counter stepped at the held reading (a replugged unit, a phase
//     step). That is a jump: the held span is left out of the rate;
//   - neither: the rate itself changed (across a reset, say). All of it
//     counts, and the typical rate starts afresh.
// The first few spans of a run, before there is a typical rate, are taken
// as they are.
//
// Windows. The rate's spread is that of consecutive windows of at least
// 10 s of the least-delayed phase within a run (phase_fit.hpp): the rate
// of each window is reported as it closes; a run's last, shorter window
// is not.
#pragma once

#include "logread/line_reader.hpp"
#include "logread/per_second_bins.hpp"
#include "logread/phase_fit.hpp"
#include "logread/rate_span.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace logread {

// What one row gives the rate.
struct rate_reading {
    std::optional<rate_span> span; // from the reading before, when it counts
    bool jump = false;             // the counter stepped at a reading held before this one
    std::optional<double> window;  // the rate of the 10 s window this reading closed
    // Between least-delayed readings a second or two apart, when this
    // reading is the first of its second (see phase_fit::add).
    std::optional<rate_span> settled;
};

class dds_rate {
public:
    rate_reading take(const row_event& row);
    // The rate fitted to the run's least-delayed phase, each stretch
    // between changes of rate apart.
    fitted_rate fitted() const;
    // Whether the run's rate changed: its mean is then the counts over its
    // span, which a fit to each stretch leaves the resets between out of.
    bool rate_changed() const { return fitted_before_.seconds > 0; }

private:
    // A reading held for the readings after it to decide on.
    struct held_reading {
        double elapsed = 0;
        rate_span span; // from the reading the sums go on from
    };

    rate_reading take_timed(double elapsed, double delta);
    rate_reading decide(double elapsed, const rate_span& after);
    rate_reading accept(double elapsed, const rate_span& span);
    void start_from(double elapsed);
    bool plausible(const rate_span& span) const;
    void note_rate(double rate);

    std::size_t run_ = 0;
    std::optional<double> reference_; // elapsed time of the reading the sums go on from
    double carried_ = 0;              // counts of the readings skipped since it, or since the held one
    std::optional<held_reading> held_;
    rate_span last_accepted_; // the span that counted last
    double phase_ = 0;        // counts since the run's first reading, the counter's steps left out
    phase_fit fit_;           // since the last change of rate
    // The reading that went into the fit last, until the next row bounds its time.
    std::optional<timed_phase> awaiting_next_row_;
    fitted_rate fitted_before_; // before it
    static constexpr std::size_t typical_spans = 15;
    std::array<double, typical_spans> recent_rates_{};
    std::size_t recent_count_ = 0; // spans noted in this run
    std::optional<double> typical_;
};

// The rate over the last 10 s of readings, for a live figure: spans go
// into one-second bins by the time of their reading.
class recent_rate {
public:
    // A span whose reading was at `time` (seconds on any clock that does
    // not go back; one that does starts the bins afresh).
    void add(double time, const rate_span& span);
    // Over the ten seconds up to the newest reading's; nothing before a span.
    std::optional<double> rate() const;

private:
    static constexpr std::size_t seconds_kept = 10;
    per_second_bins<rate_span, &rate_span::add> bins_{seconds_kept, 0};
};

} // namespace logread
