// logread: what a row says about the unit, worked out here once for every
// log tool: which queries answered, which replies failed their payload
// check, whether the row is complete, the names of the ADC channels, and
// the series the tools show over time.
#pragma once

#include "logread/row.hpp"
#include "protocol/log_text.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace logread {

// fslog's three queries, in the order it asks them and prints their groups.
enum class query : std::size_t { adc, dds, tuning };
inline constexpr std::array all_queries{query::adc, query::dds, query::tuning};
// The queries whose reply the logger keeps when its payload check fails,
// noting "(CS bad!)" at its group; a bad ADC reply is a failed query.
inline constexpr std::array checked_queries{query::dds, query::tuning};

// "adc", "dds", "tuning": the query's name in labels and keys.
std::string_view name_of(query asked);

// Whether the query's values are in the row: not when it failed, or its
// reply was too short to hold them.
bool answered(const row_values& values, query asked);
// Whether "(CS bad!)" stood at the query's group.
bool cs_bad(const row_values& values, query asked);
// A complete row holds all three groups.
bool complete(const row_values& values);

// What went wrong in a row, one flag each: the queries that did not answer,
// then the checked replies noted "(CS bad!)".
enum fault : std::size_t { adc_failed, dds_failed, tuning_failed, dds_cs_bad, tuning_cs_bad, fault_count };
static_assert(fault_count == all_queries.size() + checked_queries.size());
std::array<bool, fault_count> faults_of(const row_values& values);

// What befell the query in a fault: it failed (its values are not in the
// row), or its reply was kept though noted "(CS bad!)".
enum class fault_kind { failed, cs_bad };
inline constexpr std::array all_fault_kinds{fault_kind::failed, fault_kind::cs_bad};
// "failed", "(CS bad!)": the kind's name in labels.
std::string_view name_of(fault_kind kind);
// The query a fault befell, and what befell it.
query query_of(fault which);
fault_kind kind_of(fault which);

// The ADC group's channels in the row's order, by the names the tools give
// them. (The log's own header writes "rail?": which rail the first channel
// measures is not known for sure.)
inline constexpr std::array<std::string_view, 4> channel_names{"rail", "trimpot", "temperature", "vcxo"};
static_assert(std::ranges::equal(channel_names, protocol::log_text::adc_columns, {}, {},
                                 [](std::string_view column) {
                                     return column.substr(0, protocol::log_text::index_of(column, "?"));
                                 }));

// What the tools show over time: the four channels, in their order (a
// channel's index is its series), the DDS 2 rate and the user tuning.
enum series : std::size_t { rail, trimpot, temperature, vcxo, dds2_rate, user_tuning, series_count };
static_assert(channel_names.size() == dds2_rate);

// Each series' name in labels: a channel's, "dds2 rate", "user tuning".
inline constexpr std::array<std::string_view, series_count> series_names = [] {
    std::array<std::string_view, series_count> names{};
    std::copy(channel_names.begin(), channel_names.end(), names.begin());
    names[dds2_rate] = "dds2 rate";
    names[user_tuning] = "user tuning";
    return names;
}();

// A row's value of each series; empty where the row has none. The DDS 2
// rate's is that of the 10 s window the row's reading closed (see
// logread::dds_rate), so that its spread is the rate's over 10 s.
using series_values = std::array<std::optional<double>, series_count>;
series_values series_of(const row_values& values, std::optional<double> window_rate);

} // namespace logread
