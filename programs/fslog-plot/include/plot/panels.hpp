// fslog-plot's panels, top to bottom: one for each series, with its
// colours and its words, then the fault strip, with a row for each fault.
#pragma once

#include "logread/row_facts.hpp"

#include <array>
#include <string>
#include <string_view>

namespace plot {

struct series_panel {
    logread::series which;
    std::string_view line_colour;
    std::string_view band_colour;
};

inline constexpr std::array<series_panel, logread::series_count> value_panels{{
    {logread::rail, "#1f4e9c", "#b9cbea"},
    {logread::trimpot, "#1f4e9c", "#b9cbea"},
    {logread::temperature, "#a8321e", "#efc2b8"},
    {logread::vcxo, "#a8321e", "#efc2b8"},
    {logread::dds2_rate, "#2d7a2d", "#bfe0bf"},
    {logread::user_tuning, "#6a3d9a", "#d8c8ea"},
}};

// A panel's y label, and what it says when the series has no readings.
struct panel_text {
    std::string ylabel;
    std::string empty_note;
};
panel_text text_of(logread::series which);

// Whether the series' values are whole counts (the ADC channels and the
// tuning word), so that a narrow range can be ticked at each count.
bool counts_whole(logread::series which);

// The fault strip's rows, top to bottom: each query's faults together.
inline constexpr std::array<logread::fault, logread::fault_count> fault_rows{
    logread::adc_failed, logread::dds_failed, logread::dds_cs_bad, logread::tuning_failed,
    logread::tuning_cs_bad};

// A fault row's label: "ADC failed", "DDS (CS bad!)".
std::string label_of(logread::fault which);

} // namespace plot
