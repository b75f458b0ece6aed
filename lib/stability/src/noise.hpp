// stability: which power-law noise dominates at an averaging factor.
#pragma once

#include "stability/phase_record.hpp"

#include <cstddef>
#include <optional>

namespace stability {

// The noise exponent alpha at factor m (2 white PM, 1 flicker PM, 0 white
// FM, -1 flicker FM, -2 random-walk FM), from the data averaged at m: the
// phase at every m-th point, whose steps are the frequency averaged over
// m. Nothing when fewer than 3 averages are known, or when fewer than 30
// don't vary. The rule is analysis.hpp's.
std::optional<int> identify_noise(const phase_record& phase, std::size_t m);

} // namespace stability
