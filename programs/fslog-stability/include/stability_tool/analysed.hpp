// stability_tool: what was analysed and what came of it, as every output
// form (text, JSON, plot) shows it.
#pragma once

#include "stability/analysis.hpp"
#include "stability/deviation.hpp"
#include "stability_tool/even_series.hpp"

#include <string>
#include <vector>

namespace stability_tool {

struct kind_rows {
    stability::deviation kind;
    std::vector<stability::row> rows;
};

struct analysed {
    std::string source; // "the tuning word of unit.log", "the frequency in data.txt"
    std::string scale;  // what the values' unit is
    const even_series* series = nullptr;
    stability::drift_removal drift = stability::drift_removal::none;
    double confidence = 0.683;
    std::vector<kind_rows> results;
};

// "none", "a line in frequency", "a quadratic in phase".
std::string drift_text(stability::drift_removal drift);
// "2026-12-07T00:00:00.000Z"
std::string utc_text(double seconds);

// The header and a table per kind in Stable32's layout.
std::string text_report(const analysed& done);
// One JSON object.
std::string json_report(const analysed& done);

} // namespace stability_tool
