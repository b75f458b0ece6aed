// Reading fslog's log rows back: one row's text split into its columns.
#pragma once

#include <array>
#include <string_view>

namespace logcsv {

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
row_parse parse_row(std::string_view line);

} // namespace logcsv
