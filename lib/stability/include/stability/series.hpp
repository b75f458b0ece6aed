// stability: evenly spaced phase or frequency data, with gaps.
//
// A gap is a value that is not finite (NaN, as a rule). Every statistic
// here is a sum over terms, each built of consecutive data, and a term
// that would use a gap is left out, never bridged. Two runs recorded one
// after the other are kept apart the same way: a gap between them (see
// append_run()) keeps any term from spanning both.
#pragma once

#include <span>
#include <vector>

namespace stability {

// Phase x in seconds, or fractional frequency y. Frequency in another unit
// (Hz, counts per second) works as well: the deviations come out in it.
enum class data_kind { phase, frequency };

struct series {
    data_kind kind = data_kind::frequency;
    double tau0 = 1; // seconds from one value to the next
    std::vector<double> values;
};

// x_0 = 0, x_{k+1} = x_k + y_k·tau0: N frequency values give N + 1 phase
// points. A missing y_k leaves x_{k+1} unknown (NaN), and the phase goes on
// after it as if y_k were 0: the piece after a gap has an offset of its own,
// which no term sees, as no term reaches across the gap. (Analysed as
// frequency, such data keeps one more term per gap: the one that starts on
// the unknown point, whose offset doesn't matter either.)
std::vector<double> phase_from_frequency(std::span<const double> frequency, double tau0);

// y_k = (x_{k+1} - x_k) / tau0, unknown where either point is.
std::vector<double> frequency_from_phase(std::span<const double> phase, double tau0);

// Appends one run's values after a gap that keeps the runs apart (none
// before the first run).
void append_run(series& data, std::span<const double> run);

} // namespace stability
