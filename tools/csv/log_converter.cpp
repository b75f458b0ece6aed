#include "csv/log_converter.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

namespace logcsv {

namespace {

void append_cell(std::string& csv, std::string_view value)
{
    csv += value;
    csv += ',';
}

} // namespace

void append_csv_row(std::string& csv, const logread::log_row& row)
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

void local_time_text::append(std::string& text, double seconds)
{
    constexpr long long ms_per_second = 1000;
    const auto total_ms = std::llround(seconds * static_cast<double>(ms_per_second));
    // Whole seconds rounded down, so that times before the epoch keep
    // their milliseconds positive too.
    const long long whole = total_ms / ms_per_second - (total_ms % ms_per_second < 0 ? 1 : 0);
    const long long ms = total_ms - whole * ms_per_second;
    const auto second = static_cast<std::time_t>(whole);
    if (second_text_.empty() || second != second_) {
        std::tm fields{};
        localtime_r(&second, &fields);
        std::array<char, 64> buffer{};
        const std::size_t length = std::strftime(buffer.data(), buffer.size(), "%Y-%m-%dT%H:%M:%S", &fields);
        second_text_.assign(buffer.data(), length);
        second_ = second;
    }
    std::array<char, 8> millis{};
    std::snprintf(millis.data(), millis.size(), ".%03lld", ms);
    text += second_text_;
    text += millis.data();
}

log_converter::log_converter(std::string source, time_column time) : source_(std::move(source)), time_(time)
{
    if (time_ == time_column::with) {
        csv_ = time_cell_header;
    }
    csv_ += csv_header;
}

std::string log_converter::take_csv()
{
    return std::exchange(csv_, {});
}

std::string log_converter::take_messages()
{
    return std::exchange(messages_, {});
}

void log_converter::on_row(const logread::row_event& row)
{
    if (time_ == time_column::with) {
        if (row.time) {
            time_text_.append(csv_, *row.time);
        }
        csv_ += ',';
    }
    append_csv_row(csv_, row.text);
}

void log_converter::on_skipped(const logread::skipped_line& line)
{
    ++skipped_;
    messages_ += "fslog-csv: " + logread::describe(source_, line) + ", skipped\n";
}

} // namespace logcsv
