// fslog-plot's data, written into the script as gnuplot's inline data
// blocks, one row per bin, so that gnuplot's work does not grow with the
// log: for each series the runs of neighbouring bins with readings and the
// bins without a neighbour, then the fault strip's bars, its pause bars
// and the DDS 2 rate's jumps.
#pragma once

#include "logread/row_facts.hpp"
#include "logread/running_stats.hpp"
#include "plot/bins.hpp"
#include "plot/x_place.hpp"

#include <array>
#include <string>
#include <string_view>

namespace plot {

// What a series' blocks hold.
struct series_blocks {
    bool runs = false;            // rows in its runs block
    bool alone = false;           // rows in its block of lone bins
    logread::running_stats range; // the lows and highs of its columns, for its y range
};

struct data_blocks {
    std::string text; // the blocks, for the script
    std::array<series_blocks, logread::series_count> series{};
    bool faults = false; // a bar in the fault block
    bool jumps = false;  // a jump in the jumps block
    bool pauses = false; // a bar in the pauses block
};

// The blocks' names, as the plot commands take them.
std::string runs_block(logread::series which);
std::string alone_block(logread::series which);
inline constexpr std::string_view faults_block = "$faults";
inline constexpr std::string_view jumps_block = "$jumps";
inline constexpr std::string_view pauses_block = "$pauses";

// The blocks of the bins, at their places on the x axis.
data_blocks data_blocks_of(const binned& bins, const x_place& x);

} // namespace plot
