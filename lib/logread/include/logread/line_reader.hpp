// logread: fslog's log as a stream of events. Fed pieces of the log's text
// of any size, line_reader splits them into lines and tells a log_events
// handler what each line is: a run's start, the column header, a row (its
// text, its numbers and its absolute time), or a line that is no row.
// Memory stays bounded: a line longer than any row is dropped, not held
// (logread/capped_line.hpp).
//
// Runs and time. Every "# Logging started at <ctime text>" line starts a
// run. A row's absolute time is its run's start time plus its elapsed
// seconds, in seconds since the epoch; the start line shows whole seconds
// in the logging machine's local time, so this is good to about a second
// and is right only where this machine keeps the same time zone. A row
// before any start line (a file rotated in the middle of a run), or in a
// run whose start line holds no one time (see read_start_time), has no
// absolute time.
//
// Appended restarts. A run appended to a log whose last row had no line end
// yet puts its start line on that row's line ("... -1188 # Logging started
// at ..."): the reader reports the row, then the run's start.
//
// Rotated files. A file that fslog went on in after a rotation begins with
// "# Continued: logging started at <ctime text>". After the run it names
// (the files read in order) it changes nothing: the run goes on. Read
// alone, or after another run, it begins that run, with that start time,
// so the file's rows have their times.
//
// The autumn hour. A start line in the hour the clocks repeat is read as
// the second of its two readings when the run before's last row came after
// the first; a first run, or one with no timed row before it, takes the
// first (read_start_time), and its note says so.
//
// Failed starts. fslog's messages when it can't start a run ("Couldn't
// open port DEVICE", its usage) are reported as such, not as lines that are
// no rows; so is the empty line between two of them.
#pragma once

#include "logread/capped_line.hpp"
#include "logread/row.hpp"

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace logread {

struct run_start {
    std::size_t line_number = 0;
    std::size_t run = 0;                   // 1 for the first start line read, then 2, ...
    std::string_view ctime_text;           // as printed, without the line end
    std::optional<std::time_t> start_time; // nothing when the text is no one time
    // Why there is no start time, or which of two readings it is (see
    // read_start_time); null for a plain time.
    const char* time_note = nullptr;
};

struct row_event {
    std::size_t line_number = 0;
    // Runs counted from 1 as start lines come; 0 before the first one.
    std::size_t run = 0;
    const log_row& text;
    const row_values& values;
    std::optional<double> time; // run start + elapsed, seconds since the epoch
};

struct skipped_line {
    std::size_t line_number = 0;
    const char* problem = nullptr; // why it is no row, as a short phrase
    // The log's last line, which has no line end: a row still being
    // written, or a log cut off, rather than a line that is wrong.
    bool unterminated = false;
};

// fslog's message instead of a run: the port could not be opened, or its
// command line was wrong.
enum class start_failure { port, usage };

struct failed_start {
    std::size_t line_number = 0;
    start_failure why = start_failure::port;
};

// What a reader reports; every handler is optional.
class log_events {
public:
    virtual ~log_events() = default;
    // A file of the log begins, named as messages name it.
    virtual void on_file(const std::string& name) { static_cast<void>(name); }
    virtual void on_run_start(const run_start& start) { static_cast<void>(start); }
    virtual void on_header(std::size_t line_number) { static_cast<void>(line_number); }
    virtual void on_row(const row_event& row) { static_cast<void>(row); }
    virtual void on_skipped(const skipped_line& line) { static_cast<void>(line); }
    virtual void on_failed_start(const failed_start& start) { static_cast<void>(start); }
    // The file has ended (line_reader::finish): its last line was reported.
    virtual void on_file_end() {}

protected:
    log_events() = default;
    log_events(const log_events&) = default;
    log_events& operator=(const log_events&) = default;
};

// "SOURCE:LINE: not a log row (PROBLEM)", or "incomplete last row" for an
// unterminated last line: how the tools name a skipped line.
std::string describe(std::string_view source, const skipped_line& line);

// "SOURCE:LINE: start line "TEXT": NOTE", for a start line with a time
// note (see read_start_time); empty for one without.
std::string describe(std::string_view source, const run_start& start);

class line_reader {
public:
    explicit line_reader(log_events& events) : events_(events) {}

    // Takes the next piece of the log; every line it completes is reported.
    void feed(std::string_view piece);
    // The log (or one file of it) has ended: reports its last line, which
    // has no line end, as fslog's last row never has. Feeding on after this
    // reads the next file of the same log: lines count from 1 again, and
    // the run goes on until a start line begins another (a log rotated in
    // the middle of a run goes on in the next file).
    void finish();
    // The log has not grown for a while: reports its last line, which has
    // no line end yet, as fslog's newest row (it writes a row in one piece
    // and ends it only as it starts the next). The line end the log grows
    // by next belongs to that line, and lines go on counting.
    void take_unended();

    // The runs begun so far, and the current run's start time.
    std::size_t runs() const { return run_; }
    std::optional<std::time_t> run_start_time() const { return start_time_; }

private:
    void take_line(std::string_view line, bool ended);
    void take_text(std::string_view text, bool ended);
    void take_start(std::string_view ctime_text);
    void take_continuation(std::string_view ctime_text);
    bool take_failed_start(std::string_view text);
    void take_row(std::string_view line, bool ended);

    log_events& events_;
    capped_line partial_;        // the line begun but not yet ended
    bool taken_unended_ = false; // the last line was taken before its line end came
    std::size_t line_number_ = 0;
    std::size_t run_ = 0;
    std::string run_text_; // the current run's ctime text
    std::optional<std::time_t> start_time_;
    std::optional<double> last_row_time_; // the absolute time of the last row that had one
    bool after_message_ = false;          // the last line was one of fslog's messages
};

} // namespace logread
