// stability: the phase every statistic works on, with the steps between
// its points known or not.
//
// A step is the change of phase from one point to the next: frequency y_k
// is step k, so a missing y_k breaks step k and nothing else, while a
// missing phase point breaks the steps on both its sides. A term over
// points first..last is kept only when every step between them is known;
// a count of broken steps before each point answers that in O(1).
// Frequency becomes phase by summing y·tau0 from 0, less the mean
// frequency: a constant frequency is a straight line in phase, which no
// statistic here sees, and leaving it out keeps the sums small. A piece
// (points joined by known steps) after a frequency gap starts where the
// phase before the gap ended, an offset no term sees either.
#pragma once

#include "stability/series.hpp"

#include <cstddef>
#include <utility>
#include <vector>

namespace stability {

class phase_record {
public:
    explicit phase_record(const series& data);

    std::size_t size() const { return phase_.size(); }
    // The phase at point i (0 where it is unknown, which no kept term uses).
    double operator[](std::size_t i) const { return phase_[i]; }
    // Every step from point first to point last is known.
    bool joined(std::size_t first, std::size_t last) const
    {
        return broken_before_[first] == broken_before_[last];
    }
    // The pieces of two points or more, each [begin, end).
    std::vector<std::pair<std::size_t, std::size_t>> pieces() const;

    // Fits a line to the frequency (the known steps) by least squares and
    // takes it out; false, changing nothing, when fewer than two steps are
    // known.
    bool remove_frequency_line();
    // Fits a quadratic to the phase by least squares and takes it out,
    // false when the pieces can't fix one. Every piece has an offset of its
    // own in the fit, so a phase step across a gap (or the unknown phase
    // after a frequency gap) doesn't tilt it.
    bool remove_phase_quadratic();

private:
    std::vector<double> phase_;
    std::vector<std::size_t> broken_before_; // broken steps among steps 0 .. i-1
};

} // namespace stability
