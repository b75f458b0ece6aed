// stability: the sums of squared terms the variances are means of.
#pragma once

#include "stability/edf.hpp"
#include "stability/phase_record.hpp"

#include <cstddef>

namespace stability {

struct term_squares {
    double sum = 0;
    std::size_t count = 0;

    void add(double term)
    {
        sum += term * term;
        ++count;
    }
    double mean() const { return sum / static_cast<double>(count); }
};

// The statistic's terms at factor m: each the order-th difference at lag m
// of the phase averaged over `averaged` points, from every stride-th point;
// those whose points a broken step separates are left out. Allan and
// Hadamard, overlapping or not, and the modified Allan variance are all
// this sum. O(N) for any m: the differences' running sums give each
// average in O(1).
term_squares difference_terms(const phase_record& phase, const difference_statistic& statistic,
                              std::size_t m);

// The total variance's terms at factor m: the overlapping Allan terms
// centred on every point but the ends, of each piece extended by
// reflection (SP 1065: x*_{-j} = 2x_0 - x_j at the start, and likewise at
// the end). Each gap-free piece is extended on its own, so no term reaches
// across a gap, and a piece adds terms up to m = (its points - 1) / 2,
// tau at most half its length, as for a whole record.
term_squares total_terms(const phase_record& phase, std::size_t m);

} // namespace stability
