// stability_tool: the series of a log's rows that can be analysed.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace stability_tool {

// tuning: the user tuning word, the loop's steering; vcxo and temperature:
// those ADC channels; dds2: the DDS 2 counter, as phase against the host clock.
enum class row_series { tuning, vcxo, temperature, dds2 };

inline constexpr std::array<std::string_view, 4> row_series_names{"tuning", "vcxo", "temperature", "dds2"};

std::optional<row_series> parse_row_series(std::string_view name);
std::string_view name_of(row_series which);

} // namespace stability_tool
