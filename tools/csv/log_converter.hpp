// fslog's log to CSV, fed piece by piece so a live log converts as it grows.
#pragma once

#include "csv/log_row.hpp"

#include <cstddef>
#include <string>
#include <string_view>

namespace logcsv {

inline constexpr std::string_view csv_header =
    "elapsed_s,rail,trimpot,temperature,vcxo,dds1,dds2,delta_dds2,user_tuning,dds_cs_bad,tuning_cs_bad\n";

// Appends the row as one CSV line: the values as printed, an empty cell for
// a missing one, the two check flags as 1 or 0.
void append_csv_row(std::string& csv, const log_row& row);

class log_converter {
public:
    // `source` names the log in messages ("unit.log", "standard input").
    explicit log_converter(std::string source);

    // Takes the next piece of the log; every line it completes is converted.
    void feed(std::string_view piece);
    // The log has ended: converts the last line, which has no line end.
    void finish();

    // The CSV made so far (the header first), handed over and cleared.
    std::string take_csv();
    // The messages about skipped lines so far, one per line, handed over and cleared.
    std::string take_messages();
    // How many lines were skipped as no log row.
    std::size_t skipped_lines() const { return skipped_; }

    // A longer line is no log row, and is not kept in memory whole.
    static constexpr std::size_t max_line_length = 1024;

private:
    void take_line(std::string_view line, bool ended);
    void skip_line(const char* what, const char* problem);
    void hold_partial(std::string_view part);

    std::string source_;
    std::string csv_;
    std::string messages_;
    std::string partial_;   // the line begun but not yet ended
    bool overlong_ = false; // the current line passed max_line_length
    std::size_t line_number_ = 0;
    std::size_t skipped_ = 0;
};

} // namespace logcsv
