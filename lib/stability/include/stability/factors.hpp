// stability: the averaging factors m (tau = m·tau0) to compute at.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace stability {

// The longest factor by default: a quarter of the data's length (at
// least 1). Every kind still has terms there, and a few of them.
std::size_t default_largest_factor(std::size_t values);

// 1, 2, 4, 8, ... up to `largest`.
std::vector<std::size_t> octave_factors(std::size_t largest);

// 1, 2, 4, 10, 20, 40, 100, ... up to `largest`.
std::vector<std::size_t> decade_factors(std::size_t largest);

// Each tau (seconds) as the nearest factor, at least 1; in increasing order,
// each once.
std::vector<std::size_t> factors_for_taus(std::span<const double> taus, double tau0);

} // namespace stability
