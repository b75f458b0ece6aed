#include "stability_tool/row_series.hpp"

#include <algorithm>
#include <cstddef>

namespace stability_tool {

std::optional<row_series> parse_row_series(std::string_view name)
{
    const auto found = std::ranges::find(row_series_names, name);
    if (found == row_series_names.end()) {
        return std::nullopt;
    }
    return static_cast<row_series>(found - row_series_names.begin());
}

std::string_view name_of(row_series which)
{
    return row_series_names[static_cast<std::size_t>(which)];
}

} // namespace stability_tool
