// Log text as fslog writes it, for tests of the tools that read logs.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>

namespace log_text {

// A row as fslog prints it: each group present or missing, and "(CS bad!) "
// where a reply's payload check failed.
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
    char field[64];
    std::snprintf(field, sizeof field, "\n     %9.3f     ", r.elapsed);
    std::string text = field;
    for (int channel = 0; r.adc && channel < 4; ++channel) {
        std::snprintf(field, sizeof field, "  %4d  ", (*r.adc)[static_cast<std::size_t>(channel)]);
        text += field;
    }
    text += r.dds_cs_bad ? "(CS bad!) " : "";
    if (r.dds) {
        text += std::to_string((*r.dds)[0]) + " " + std::to_string((*r.dds)[1]) + " " +
                std::to_string((*r.dds)[2]) + " ";
    }
    text += r.tuning_cs_bad ? "(CS bad!) " : "";
    text += r.tuning ? std::to_string(*r.tuning) + " " : "";
    return text;
}

inline const std::string header_line =
    "# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, delta dds2, user tuning";

// The line a run starts with, its line end included.
inline std::string start_line(const std::string& ctime_text)
{
    return "# Logging started at " + ctime_text + "\n";
}

// The start line and the column header, as fslog prints them at start.
inline std::string start_lines(const std::string& ctime_text)
{
    return start_line(ctime_text) + header_line;
}

} // namespace log_text
