#include "csv/log_converter.hpp"

#include "logread/local_time.hpp"
#include "logread/row_facts.hpp"

#include <array>
#include <cstdio>
#include <utility>

namespace csv {

namespace {

void append_cell(std::string& csv, std::string_view value)
{
    csv += value;
    csv += ',';
}

std::string header_line()
{
    std::string line = "elapsed_s,";
    for (const std::string_view name : logread::channel_names) {
        append_cell(line, name);
    }
    return line + "dds1,dds2,delta_dds2,user_tuning,dds_cs_bad,tuning_cs_bad\n";
}

} // namespace

const std::string csv_header = header_line();

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

void iso_time_cache::append(std::string& text, double seconds)
{
    const logread::millisecond_time at = logread::to_milliseconds(seconds);
    if (second_text_.empty() || at.second != second_) {
        second_text_ = logread::time_text(at.second, "%Y-%m-%dT%H:%M:%S", zone_);
        offset_text_ = logread::iso_offset(at.second, zone_);
        second_ = at.second;
    }
    std::array<char, 8> millis{};
    std::snprintf(millis.data(), millis.size(), ".%03d", at.millisecond);
    text += second_text_;
    text += millis.data();
    text += offset_text_;
}

log_converter::log_converter(std::string source, time_column time, logread::time_zone zone)
    : source_(std::move(source)), time_(time), time_text_(zone)
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

void log_converter::on_run_start(const logread::run_start& start)
{
    if (time_ == time_column::with && start.time_note != nullptr) {
        skipped_ += start.start_time ? 0U : 1U;
        messages_ += "fslog-csv: " + logread::describe(source_, start) + "\n";
    }
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
    if (const auto note = notes_.note(source_, line)) {
        messages_ += "fslog-csv: " + *note + ", skipped\n";
    }
}

void log_converter::on_file_end()
{
    if (const auto rest = notes_.file_end(source_)) {
        messages_ += "fslog-csv: " + *rest + ", skipped\n";
    }
}

} // namespace csv
