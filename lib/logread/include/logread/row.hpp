// logread: reading fslog's log back. This header: one row's text split
// into its columns (log_row, parse_row), and the numbers those columns hold
// (row_values, values_of). What those numbers say about the unit (answered
// queries, complete rows, channel names) is in logread/row_facts.hpp; the
// stream of lines, runs and absolute times in logread/line_reader.hpp;
// opening a log (plain or gzip) in logread/log_input.hpp; the DDS 2 rate in
// logread/dds_rate.hpp.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace logread {

// One log row's fields, each exactly the text fslog printed (padding
// removed). An empty view is a missing value: that query failed, or its
// reply was too short to hold the value.
struct log_row {
    std::string_view elapsed;
    std::array<std::string_view, 4> adc{}; // rail?, trimpot, temperature, vcxo
    std::array<std::string_view, 3> dds{}; // dds 1, dds 2, delta dds2
    std::string_view tuning;
    bool dds_cs_bad = false;    // "(CS bad!) " stood at the DDS group's place
    bool tuning_cs_bad = false; // likewise for the tuning group
};

struct row_parse {
    log_row row;
    // Why the line is no log row; null when it is one.
    const char* problem = nullptr;
    bool ok() const { return problem == nullptr; }
};

// Parses one line of the log (without its line end) as a row. Comment lines
// are the caller's business: a line starting with '#' is no row here.
//
// The ADC group is told apart by its layout, since every ADC field is padded
// ("  %4d  ") and the other numbers are not. The numbers after it each end
// with one space: 3 are the DDS group, 1 the tuning, 4 both. A "(CS bad!) "
// belongs to the group whose numbers follow it. Where the row alone can't
// tell (a lone "(CS bad!) " with nothing after it, or "(CS bad!) " and one
// number), the reading chosen is that the DDS query printed nothing and the
// note is the tuning reply's; a note with a second note after it is the
// DDS group's.
//
// A row whose elapsed time can't be is no row: a negative one, one beyond
// 1e9 s, or one that no double holds.
row_parse parse_row(std::string_view line);

// The DDS group's three numbers.
struct dds_reading {
    std::uint32_t dds1 = 0;
    std::uint32_t dds2 = 0;
    std::int32_t delta = 0; // delta dds2: dds 2 minus the dds 2 shown last
};

// A row's numbers; a group that is missing from the row is empty.
struct row_values {
    double elapsed = 0;                              // seconds since the run's start
    std::optional<std::array<std::uint16_t, 4>> adc; // rail?, trimpot, temperature, vcxo
    std::optional<dds_reading> dds;
    std::optional<std::int32_t> tuning;
    bool dds_cs_bad = false;
    bool tuning_cs_bad = false;
};

// The numbers of a row that parse_row accepted (its fields are known to be
// in range, so nothing can fail here).
row_values values_of(const log_row& row);

} // namespace logread
