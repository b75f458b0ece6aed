// stability: equivalent degrees of freedom and the confidence bounds they give.
#pragma once

#include <cstddef>

namespace stability {

// A variance of finite differences of phase, in Greenhall's terms: the
// order-th differences at lag m of the phase averaged over `averaged`
// consecutive points (1, or m for the modified variances), one term every
// `stride` points (1 overlapping, m not). A term spans order·m + averaged
// points.
struct difference_statistic {
    int order;
    std::size_t averaged;
    std::size_t stride;

    std::size_t span(std::size_t m) const { return static_cast<std::size_t>(order) * m + averaged; }
};

// The EDF of the statistic at factor m over phase_points gap-free points,
// for power-law noise alpha (2 white PM .. -2 random-walk FM), by Greenhall
// and Riley's algorithm ("Uncertainty of stability variances based on
// finite differences", 2003): the terms are correlated Gaussian squares,
// and EDF = M·R(0)² / (R(0)² + 2·sum_j (1 - j/M) R(j)²) over the M terms,
// with the terms' covariance R from the generalized autocovariance of the
// integrated phase (their sw, sx, sz). The sum runs over every lag up to
// (order + 1)·tau, beyond which the covariance is nil (even alpha) or
// negligible (odd alpha); Greenhall shortens it by an asymptotic form
// beyond 100 lags, which here is summed in full. NaN when the points hold
// no term.
double greenhall_edf(const difference_statistic& statistic, std::size_t m, int alpha,
                     std::size_t phase_points);

// The EDF of the total deviation at factor m over phase_points gap-free
// points, by NIST SP 1065's fit edf = b·(T/tau) - c with T the record's
// length (phase_points - 1)·tau0: white FM b = 1.50, c = 0; flicker FM
// b = 1.17, c = 0.22; random-walk FM b = 0.93, c = 0.36. Phase noise has
// no fit there; the total deviation then hardly differs from the
// overlapping Allan deviation, whose EDF it takes. So it does at m = 1,
// where it is the overlapping Allan deviation (no term reaches the
// reflection) and the fit, made for long tau, gives more than twice the
// EDF for white FM.
double total_edf(std::size_t m, int alpha, std::size_t phase_points);

struct bounds {
    double low;
    double high;
};

// The two-sided bounds on a deviation sigma with `edf` degrees of freedom
// holding the true value with probability `confidence` (0.683 for 1
// sigma): sigma·sqrt(edf / chi²_{(1±confidence)/2}(edf)).
bounds deviation_bounds(double sigma, double edf, double confidence);

} // namespace stability
