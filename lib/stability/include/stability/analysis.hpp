// stability: the deviations of a series at a list of averaging factors,
// each with its noise type, degrees of freedom and confidence bounds, as
// NIST SP 1065 defines them and Stable32 computes them.
//
// The work is on phase (frequency is summed into it; see phase_record.hpp),
// in O(N) time per factor and O(N) memory.
//
// Gaps. A term any of whose points a gap cuts off is left out; the variance
// is the mean over the terms kept, and n counts them. For the total
// deviation each gap-free piece is extended by reflection on its own, and
// contributes terms at tau up to half its own length.
//
// Noise. The exponent alpha (2 white PM, 1 flicker PM, 0 white FM, -1
// flicker FM, -2 random-walk FM) is found at each factor m from the phase
// at every m-th point, pieces kept apart:
//  - with 30 frequency averages or more, by the lag-1 autocorrelation
//    (Riley and Greenhall): the phase is differenced d times, until
//    delta = r1/(1 + r1) < 0.25 or d = 2; then alpha = 2 - 2·(delta + d),
//    rounded, within 2 .. -2. Each piece is taken about its own mean.
//  - with 3 to 29, by Barnes' B1 (the averages' standard variance over
//    their Allan variance) against its expected value for N averages,
//    B1 = N(1 - N^mu) / (2(N - 1)(1 - 2^mu)), nearest on a log scale, for
//    mu = 1, 0, -1, -2 (alpha = -mu - 1); when that says PM, R(n) =
//    mdev²/oadev² tells white PM (1/n) from flicker PM
//    (3.37 / (1.038 + 3·ln(pi·n))), again the nearer on a log scale (white
//    PM where mdev has no term).
//  - with fewer, or 3 to 29 that don't vary, alpha stays that of the
//    factor before (white FM for the first).
// A caller who knows the noise can give alpha instead.
//
// Degrees of freedom. Greenhall's EDF (edf.hpp) for every kind but the
// total deviation, the time deviation taking the modified Allan's; the
// total deviation's from SP 1065's fit, or the overlapping Allan's for PM
// noise and at m = 1 (edf.hpp). With gaps, the EDF is that of a gap-free
// record holding as many terms as were kept: span + (n - 1)·stride points
// for the difference statistics, n + 2 for the total deviation.
#pragma once

#include "stability/deviation.hpp"
#include "stability/phase_record.hpp"
#include "stability/series.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace stability {

// The drift taken out before any statistic.
enum class drift_removal {
    none,
    frequency_line,  // a line fitted to the frequency by least squares
    phase_quadratic, // a quadratic fitted to the phase, each gap-free piece with its own offset
};

struct options {
    double confidence = 0.683; // of the two-sided bounds
    std::optional<int> alpha;  // the noise, when known: identified at each factor otherwise
};

struct row {
    std::size_t af;   // averaging factor m
    double tau;       // m·tau0, seconds
    std::size_t n;    // terms used
    int alpha;        // noise exponent
    double edf;       // equivalent degrees of freedom
    double sigma;     // the deviation
    double sigma_min; // its confidence bounds
    double sigma_max;
};

class analysis {
public:
    // Takes the series (tau0 > 0) and the drift to remove; throws
    // std::invalid_argument for a tau0 that is not.
    explicit analysis(const series& data, drift_removal drift = drift_removal::none);

    // What was removed: `none` too when the drift asked for can't be fitted
    // (fewer than two known frequency steps, or three phase points).
    drift_removal removed() const { return removed_; }

    // A row for each factor (in the order given) at which the kind has a
    // term; throws std::invalid_argument for a factor of 0, a confidence
    // outside (0, 1) or an alpha outside 2 .. -2.
    std::vector<row> rows(deviation kind, std::span<const std::size_t> factors,
                          const options& given = {}) const;

private:
    phase_record phase_;
    double tau0_;
    drift_removal removed_ = drift_removal::none;
};

} // namespace stability
