// What fslog-plot's script says to gnuplot in gnuplot's own forms: text
// as a quoted string, numbers, and places on the x axis.
#pragma once

#include <string>
#include <string_view>

namespace plot {

// gnuplot's double-quoted string: backslash escapes, a newline as \n.
std::string quoted(std::string_view text);

// All the digits a double needs ("%.15g").
std::string number(double value);

// A place on the x axis as gnuplot is given it: seconds from `origin`. On
// a time axis that is the axis' start (gnuplot's own time labels would be
// UTC, so the ticks are given with their labels); on an elapsed axis, 0.
struct x_place {
    double origin = 0;

    std::string operator()(double x) const { return number(x - origin); }
};

} // namespace plot
