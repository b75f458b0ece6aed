#include "stability_tool/even_series.hpp"

#include <algorithm>
#include <cmath>

namespace stability_tool {

std::size_t gaps_in(const stability::series& data)
{
    return static_cast<std::size_t>(
        std::ranges::count_if(data.values, [](double value) { return !std::isfinite(value); }));
}

std::vector<std::pair<std::size_t, std::size_t>> pieces_of(const stability::series& data)
{
    std::vector<std::pair<std::size_t, std::size_t>> pieces;
    const std::vector<double>& values = data.values;
    for (std::size_t begin = 0; begin < values.size();) {
        if (!std::isfinite(values[begin])) {
            ++begin;
            continue;
        }
        std::size_t end = begin;
        while (end < values.size() && std::isfinite(values[end])) {
            ++end;
        }
        pieces.emplace_back(begin, end);
        begin = end;
    }
    return pieces;
}

} // namespace stability_tool
