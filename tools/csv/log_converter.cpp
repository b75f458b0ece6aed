#include "csv/log_converter.hpp"

#include <utility>

namespace logcsv {

namespace {

void append_cell(std::string& csv, std::string_view value)
{
    csv += value;
    csv += ',';
}

} // namespace

void append_csv_row(std::string& csv, const log_row& row)
{
    append_cell(csv, row.elapsed);
    for (const std::string_view value : row.adc) {
        append_cell(csv, value);
    }
    for (const std::string_view value : row.dds) {
        append_cell(csv, value);
    }
    append_cell(csv, row.tuning);
    csv += row.dds_cs_bad ? "1," : "0,";
    csv += row.tuning_cs_bad ? "1\n" : "0\n";
}

log_converter::log_converter(std::string source) : source_(std::move(source)), csv_(csv_header) {}

void log_converter::feed(std::string_view piece)
{
    for (std::size_t end = piece.find('\n'); end != std::string_view::npos; end = piece.find('\n')) {
        const std::string_view rest_of_line = piece.substr(0, end);
        if (partial_.empty() && !overlong_) {
            take_line(rest_of_line, true);
        } else {
            hold_partial(rest_of_line);
            take_line(partial_, true);
        }
        partial_.clear();
        overlong_ = false;
        piece.remove_prefix(end + 1);
    }
    hold_partial(piece);
}

void log_converter::finish()
{
    if (!partial_.empty() || overlong_) {
        take_line(partial_, false);
    }
    partial_.clear();
    overlong_ = false;
}

std::string log_converter::take_csv()
{
    return std::exchange(csv_, {});
}

std::string log_converter::take_messages()
{
    return std::exchange(messages_, {});
}

void log_converter::hold_partial(std::string_view part)
{
    if (overlong_ || partial_.size() + part.size() > max_line_length) {
        overlong_ = true;
        partial_.clear();
        return;
    }
    partial_ += part;
}

void log_converter::take_line(std::string_view line, bool ended)
{
    ++line_number_;
    if (overlong_ || line.size() > max_line_length) {
        skip_line("not a log row", "longer than any row");
        return;
    }
    if (line.starts_with('#')) {
        return;
    }
    const row_parse parsed = parse_row(line);
    if (parsed.ok()) {
        append_csv_row(csv_, parsed.row);
    } else {
        // A log that is still being written, or was cut off, ends in a row
        // that is not finished yet.
        skip_line(ended ? "not a log row" : "incomplete last row", parsed.problem);
    }
}

void log_converter::skip_line(const char* what, const char* problem)
{
    ++skipped_;
    messages_ += "fslog-csv: " + source_ + ":" + std::to_string(line_number_) + ": " + what + " (" + problem +
                 "), skipped\n";
}

} // namespace logcsv
