// fslog's log to CSV, fed piece by piece so a live log converts as it grows.
#pragma once

#include "logread/capped_line.hpp"
#include "logread/line_reader.hpp"
#include "logread/local_time.hpp"
#include "logread/row.hpp"
#include "logread/skipped_line_notes.hpp"

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace csv {

// The CSV's first line: its columns' names, the channels' as the log library gives them.
extern const std::string csv_header;
// With --time, the header begins with this cell.
inline constexpr std::string_view time_cell_header = "time,";

// Appends the row as one CSV line: the values as printed, an empty cell for
// a missing one, the two check flags as 1 or 0.
void append_csv_row(std::string& csv, const logread::log_row& row);

// A time of `seconds` since the epoch as ISO 8601 with milliseconds and
// its offset ("2026-12-08T09:14:03.013+01:00", or "...Z" in UTC). Rows come
// many to a second, so the texts of the last whole second are kept.
class iso_time_cache {
public:
    explicit iso_time_cache(logread::time_zone zone) : zone_(zone) {}
    void append(std::string& text, double seconds);

private:
    logread::time_zone zone_;
    std::time_t second_ = 0;
    std::string second_text_; // "YYYY-MM-DDTHH:MM:SS" of second_, empty before the first
    std::string offset_text_; // "+01:00" or "Z"
};

enum class time_column { without, with };

class log_converter : private logread::log_events {
public:
    // `source` names the log in messages ("unit.log", "standard input").
    // With a time column, each row begins with its absolute time in `zone`,
    // or an empty cell when the log holds no start line before it or its
    // start line gives no time; such a start line has a message, as has
    // one in the hour a clock change repeats.
    explicit log_converter(std::string source, time_column time = time_column::without,
                           logread::time_zone zone = logread::time_zone::local);

    // Takes the next piece of the log; every line it completes is converted.
    void feed(std::string_view piece) { reader_.feed(piece); }
    // The log has ended: converts the last line, which has no line end.
    void finish() { reader_.finish(); }
    // The reader behind feed and finish, for logread::feed_all.
    logread::line_reader& reader() { return reader_; }

    // The CSV made so far (the header first), handed over and cleared.
    std::string take_csv();
    // The messages about skipped lines (the first few of the log, then how
    // many more) and start times so far, one per line, handed over and
    // cleared.
    std::string take_messages();
    // How many lines were skipped as no log row, or as a start line that
    // gives no time for the time column.
    std::size_t skipped_lines() const { return skipped_; }

    static constexpr std::size_t max_line_length = logread::capped_line::max_length;

private:
    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;
    void on_skipped(const logread::skipped_line& line) override;
    void on_file_end() override;

    std::string source_;
    time_column time_;
    logread::line_reader reader_{*this};
    iso_time_cache time_text_;
    std::string csv_;
    std::string messages_;
    logread::skipped_line_notes notes_;
    std::size_t skipped_ = 0;
};

} // namespace csv
