// Log text as fslog writes it, for tests of the tools that read logs, and
// its rows' patterns, for tests of what fslog wrote.
#pragma once

#include "protocol/log_text.hpp"

#include <array>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

namespace log_text {

// A row as fslog prints it: each group present or missing, and the bad
// note where a reply's payload check failed.
struct row {
    double elapsed;
    std::optional<std::array<int, 4>> adc{};
    std::optional<std::array<long, 3>> dds{}; // dds 1, dds 2, delta dds2
    std::optional<long> tuning{};
    bool dds_cs_bad = false;
    bool tuning_cs_bad = false;
};

inline std::string text_of(const row& r)
{
    namespace printed = protocol::log_text;
    char field[64];
    std::snprintf(field, sizeof field, printed::elapsed_format, r.elapsed);
    std::string text = field;
    for (std::size_t channel = 0; r.adc && channel < r.adc->size(); ++channel) {
        std::snprintf(field, sizeof field, printed::adc_format, (*r.adc)[channel]);
        text += field;
    }
    text += r.dds_cs_bad ? printed::cs_bad_note : "";
    if (r.dds) {
        std::snprintf(field, sizeof field, printed::dds_format, static_cast<unsigned long>((*r.dds)[0]),
                      static_cast<unsigned long>((*r.dds)[1]), (*r.dds)[2]);
        text += field;
    }
    text += r.tuning_cs_bad ? printed::cs_bad_note : "";
    if (r.tuning) {
        std::snprintf(field, sizeof field, printed::tuning_format, *r.tuning);
        text += field;
    }
    return text;
}

inline const std::string header_line = protocol::log_text::header_line;

// The line a run starts with, its line end included.
inline std::string start_line(const std::string& ctime_text)
{
    return std::string(protocol::log_text::start_line_prefix) + ctime_text + "\n";
}

// The start line and the column header, as fslog prints them at start.
inline std::string start_lines(const std::string& ctime_text)
{
    return start_line(ctime_text) + header_line;
}

// A row's fields after the elapsed time (the row without the line end before it).
inline std::string fields_of(const std::string& row)
{
    const std::size_t elapsed = protocol::log_text::elapsed_field.length();
    return row.size() > elapsed ? row.substr(elapsed) : "";
}

// A padded field as a regular expression: its margins around a number that fills its width.
inline std::string pattern_of(protocol::log_text::padded_field field)
{
    const std::size_t fraction = field.decimals > 0 ? field.decimals + 1 : 0;
    const std::string decimals = fraction > 0 ? R"(\.\d{)" + std::to_string(field.decimals) + "}" : "";
    const std::string margin(field.margin, ' ');
    return margin + R"([ \d]{)" + std::to_string(field.width - fraction - 1) + R"(}\d)" + decimals + margin;
}

// Rows (without the line end before them) as regular expressions: one that
// every query answered, whose captures are the ADC group, dds 2 and delta
// dds2, and any row fslog can print, each group missing or not, the DDS and
// tuning groups noted bad or not.
inline const std::string elapsed_pattern = pattern_of(protocol::log_text::elapsed_field);
inline const std::string adc_pattern = "(" + pattern_of(protocol::log_text::adc_field) + "){4}";
inline const std::string dds_pattern = R"(\d+ (\d+) (-?\d+) )";
inline const std::string tuning_pattern = R"(-?\d+ )";
inline const std::string note_pattern =
    "(" + std::regex_replace(protocol::log_text::cs_bad_note, std::regex(R"([\\^$.|?*+()[\]{}])"), R"(\$&)") +
    ")?";
inline const std::string complete_row_pattern = elapsed_pattern + adc_pattern + dds_pattern + tuning_pattern;
inline const std::string any_row_pattern = elapsed_pattern + "(" + adc_pattern + ")?(" + note_pattern +
                                           dds_pattern + ")?(" + note_pattern + tuning_pattern + ")?";

} // namespace log_text
