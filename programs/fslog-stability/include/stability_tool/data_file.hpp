// stability_tool: a data file as the field's tools write them: one value a
// line, '#' lines ignored, "nan" for a gap.
#pragma once

#include "stability/series.hpp"

#include <string>
#include <variant>

namespace stability_tool {

// The file's values, or why it can't be read ("can't open F: ...",
// "F:12: not a number").
std::variant<stability::series, std::string> read_data_file(const std::string& path,
                                                            stability::data_kind kind, double tau0);

} // namespace stability_tool
