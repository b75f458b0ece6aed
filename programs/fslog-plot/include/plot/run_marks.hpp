// The marks fslog-plot sets across every panel where fslog restarted: a
// dashed line at each restart, and the time between two runs shaded, apart
// from the gaps that failed queries leave within a run.
#pragma once

#include "plot/bins.hpp"
#include "plot/x_place.hpp"

#include <string>
#include <vector>

namespace plot {

// The script's lines that set them, each with its line end.
std::string run_marks(const std::vector<run_extent>& runs, const x_place& x);

} // namespace plot
