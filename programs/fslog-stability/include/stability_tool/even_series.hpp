// stability_tool: the evenly spaced series a log or a data file becomes,
// with what the header tells about it.
#pragma once

#include "stability/series.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace stability_tool {

struct even_series {
    stability::series data;
    // The first value's time in seconds since the epoch, when known.
    std::optional<double> start_time;
    // The readings behind each value, when asked for (a CSV export).
    std::vector<std::uint16_t> readings;
    // Readings that could not be placed in time: before any start line, or
    // read after a failed query in the same row.
    std::size_t left_out = 0;
};

// The values that are gaps.
std::size_t gaps_in(const stability::series& data);
// The gap-free pieces, each [begin, end).
std::vector<std::pair<std::size_t, std::size_t>> pieces_of(const stability::series& data);

} // namespace stability_tool
