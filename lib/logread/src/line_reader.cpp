#include "logread/line_reader.hpp"

#include "logread/local_time.hpp"
#include "logread/start_line.hpp"
#include "protocol/log_text.hpp"

#include <cstring>
#include <utility>

namespace logread {

namespace {

namespace log_text = protocol::log_text;

// Where a start or continuation line glued to the end of a row begins, or
// npos. A row never holds '#', so only a line with one can carry either.
std::size_t glued_run_line(std::string_view line)
{
    if (std::memchr(line.data(), '#', line.size()) == nullptr) {
        return std::string_view::npos;
    }
    const std::size_t start = line.find(log_text::start_line_prefix);
    return start != std::string_view::npos ? start : line.find(log_text::continued_line_prefix);
}

} // namespace

std::string describe(std::string_view source, const skipped_line& line)
{
    std::string text(source);
    text += ':';
    text += std::to_string(line.line_number);
    text += line.unterminated ? ": incomplete last row (" : ": not a log row (";
    text += line.problem;
    text += ')';
    return text;
}

std::string describe(std::string_view source, const run_start& start)
{
    if (start.time_note == nullptr) {
        return {};
    }
    std::string text(source);
    text += ':' + std::to_string(start.line_number) + ": start line \"";
    text += start.ctime_text;
    text += "\": ";
    text += start.time_note;
    text += start.start_time ? " (" + iso_time(static_cast<double>(*start.start_time), time_zone::local) + ")"
                             : "; its rows have no absolute time";
    return text;
}

void line_reader::feed(std::string_view piece)
{
    if (taken_unended_ && !piece.empty()) {
        taken_unended_ = false;
        if (piece.front() == '\n') {
            piece.remove_prefix(1);
        } else {
            --line_number_; // the line taken was not whole: the rest of it counts as the same line
        }
    }
    for (std::size_t end = piece.find('\n'); end != std::string_view::npos; end = piece.find('\n')) {
        const std::string_view rest_of_line = piece.substr(0, end);
        if (partial_.begun()) {
            partial_.append(rest_of_line);
            take_line(partial_.text(), true);
        } else {
            take_line(rest_of_line, true);
        }
        partial_.clear();
        piece.remove_prefix(end + 1);
    }
    partial_.append(piece);
}

void line_reader::finish()
{
    if (partial_.begun()) {
        take_line(partial_.text(), false);
    }
    partial_.clear();
    taken_unended_ = false;
    line_number_ = 0;
    events_.on_file_end();
}

void line_reader::take_unended()
{
    if (!partial_.begun()) {
        return;
    }
    take_line(partial_.text(), false);
    partial_.clear();
    taken_unended_ = true;
}

void line_reader::take_line(std::string_view line, bool ended)
{
    ++line_number_;
    const bool follows_message = std::exchange(after_message_, false);
    if (partial_.overlong() || line.size() > capped_line::max_length) {
        events_.on_skipped({line_number_, "longer than any row", false});
        return;
    }
    // A file that begins with a line end holds the end of a row that the
    // previous file (before a rotation) holds; fslog's messages begin with a
    // line end, which after another message makes an empty line. Nothing
    // is missing there.
    if (line.empty() && ended && (line_number_ == 1 || follows_message)) {
        return;
    }
    const std::size_t glued = glued_run_line(line);
    if (glued == std::string_view::npos || glued == 0) {
        take_text(line, ended);
        return;
    }
    take_text(line.substr(0, glued), true);
    take_text(line.substr(glued), ended);
}

void line_reader::take_text(std::string_view text, bool ended)
{
    if (text.starts_with(log_text::start_line_prefix)) {
        take_start(text.substr(log_text::start_line_prefix.size()));
    } else if (text.starts_with(log_text::continued_line_prefix)) {
        take_continuation(text.substr(log_text::continued_line_prefix.size()));
    } else if (text.starts_with(log_text::header_line_prefix)) {
        events_.on_header(line_number_);
    } else if (!text.starts_with('#') && !take_failed_start(text)) { // other comments: a reply dump, say
        take_row(text, ended);
    }
}

void line_reader::take_start(std::string_view ctime_text)
{
    run_text_ = ctime_text;
    start_time start = read_start_time(ctime_text);
    // In the repeated hour, the reading that follows the run before's last row.
    if (start.second_reading && last_row_time_ && *last_row_time_ > static_cast<double>(*start.time)) {
        start.time = start.second_reading;
        start.note = repeated_hour_after_run;
    }
    start_time_ = start.time;
    ++run_;
    events_.on_run_start({line_number_, run_, ctime_text, start_time_, start.note});
}

void line_reader::take_continuation(std::string_view ctime_text)
{
    if (run_ == 0 || ctime_text != run_text_) {
        take_start(ctime_text);
    }
}

bool line_reader::take_failed_start(std::string_view text)
{
    start_failure why = start_failure::port;
    if (text.starts_with(log_text::usage_prefix) && text.ends_with(log_text::usage_suffix)) {
        why = start_failure::usage;
    } else if (!text.starts_with(log_text::open_failure_prefix)) {
        return false;
    }
    after_message_ = true;
    events_.on_failed_start({line_number_, why});
    return true;
}

void line_reader::take_row(std::string_view line, bool ended)
{
    const row_parse parsed = parse_row(line);
    if (!parsed.ok()) {
        events_.on_skipped({line_number_, parsed.problem, !ended});
        return;
    }
    const row_values values = values_of(parsed.row);
    std::optional<double> time;
    if (start_time_) {
        time = static_cast<double>(*start_time_) + values.elapsed;
        last_row_time_ = time;
    }
    events_.on_row({line_number_, run_, parsed.row, values, time});
}

} // namespace logread
