// What a row says about the unit: see row_facts.hpp.
#include "logread/row_facts.hpp"

namespace logread {

std::string_view name_of(query asked)
{
    constexpr std::array<std::string_view, all_queries.size()> names{"adc", "dds", "tuning"};
    return names[static_cast<std::size_t>(asked)];
}

bool answered(const row_values& values, query asked)
{
    switch (asked) {
    case query::adc: return values.adc.has_value();
    case query::dds: return values.dds.has_value();
    case query::tuning: return values.tuning.has_value();
    }
    return false;
}

bool cs_bad(const row_values& values, query asked)
{
    return (asked == query::dds && values.dds_cs_bad) || (asked == query::tuning && values.tuning_cs_bad);
}

bool complete(const row_values& values)
{
    return values.adc && values.dds && values.tuning;
}

std::array<bool, fault_count> faults_of(const row_values& values)
{
    std::array<bool, fault_count> faults{};
    for (std::size_t index = 0; index < fault_count; ++index) {
        const auto which = static_cast<fault>(index);
        faults[index] = kind_of(which) == fault_kind::failed ? !answered(values, query_of(which))
                                                             : cs_bad(values, query_of(which));
    }
    return faults;
}

std::string_view name_of(fault_kind kind)
{
    return kind == fault_kind::failed ? "failed" : "(CS bad!)";
}

// The faults are the failures of all queries, then the checked ones' bad checks.
query query_of(fault which)
{
    return which < all_queries.size() ? all_queries[which] : checked_queries[which - all_queries.size()];
}

fault_kind kind_of(fault which)
{
    return which < all_queries.size() ? fault_kind::failed : fault_kind::cs_bad;
}

series_values series_of(const row_values& values, std::optional<double> window_rate)
{
    series_values taken{};
    for (std::size_t channel = 0; values.adc && channel < channel_names.size(); ++channel) {
        taken[channel] = (*values.adc)[channel];
    }
    taken[dds2_rate] = window_rate;
    if (values.tuning) {
        taken[user_tuning] = *values.tuning;
    }
    return taken;
}

} // namespace logread
