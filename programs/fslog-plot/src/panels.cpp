// fslog-plot's panels: see panels.hpp.
#include "plot/panels.hpp"

namespace plot {

panel_text text_of(logread::series which)
{
    if (which == logread::dds2_rate) {
        return {"DDS 2 rate (counts/s)", "no DDS 2 rate: it needs two DDS readings in one run"};
    }
    // A channel as the log's header names it, which doubts the rail ("rail?").
    const std::string heading =
        std::string(logread::series_names[which]) + (which == logread::rail ? "?" : "");
    const char* unit = which == logread::user_tuning ? "" : " (ADC counts)";
    return {heading + unit, "no " + heading + " readings"};
}

bool counts_whole(logread::series which)
{
    return which != logread::dds2_rate;
}

std::string label_of(logread::fault which)
{
    // The queries as the panels name them: the unit's parts by their
    // abbreviations, as in "DDS 2 rate".
    constexpr std::array<std::string_view, logread::all_queries.size()> headings{"ADC", "DDS", "tuning"};
    const auto asked = static_cast<std::size_t>(logread::query_of(which));
    return std::string(headings[asked]) + " " + std::string(logread::name_of(logread::kind_of(which)));
}

} // namespace plot
