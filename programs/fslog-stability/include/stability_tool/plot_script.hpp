// stability_tool: the gnuplot script that draws sigma(tau) of each kind on
// log-log axes, with its confidence bars, and slope guides for the noise
// types.
#pragma once

#include "stability_tool/analysed.hpp"

#include <string>

namespace stability_tool {

enum class picture_format { png, svg };

// The script drawing into `output` (a path gnuplot writes to).
std::string plot_script(const analysed& done, picture_format format, const std::string& output);

} // namespace stability_tool
