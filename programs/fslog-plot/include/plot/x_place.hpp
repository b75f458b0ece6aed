// fslog-plot: places on the x axis in the script's numbers.
#pragma once

#include "gnuplot/text.hpp"

#include <string>

namespace plot {

// A place on the x axis as gnuplot is given it: seconds from `origin`. On
// a time axis that is the axis' start (gnuplot's own time labels would be
// UTC, so the ticks are given with their labels); on an elapsed axis, 0.
struct x_place {
    double origin = 0;

    std::string operator()(double x) const { return gnuplot::number(x - origin); }
};

} // namespace plot
