// The gnuplot script that draws fslog-plot's panels from the bins alone:
// the data goes into the script as inline data blocks, one row per bin,
// so gnuplot's work does not grow with the log.
#pragma once

#include "plot/bins.hpp"
#include "plot/log_sampler.hpp"
#include "plot/options.hpp"

#include <string>

namespace plot {

struct figure {
    binned bins;
    time_axis axis = time_axis::real_time;
    logread::time_zone zone = logread::time_zone::local; // of a time axis' labels
    bool elapsed_for_want_of_start = false;
    std::string title;
    unsigned width = 0;
    unsigned height = 0;
    image_format format = image_format::png;
    std::string output; // where gnuplot writes the picture
};

// The share of the picture's width the panels take: one bin per pixel
// column of it.
std::size_t plot_columns(unsigned width);

std::string gnuplot_script(const figure& drawing);

} // namespace plot
