#include "stability_tool/series_export.hpp"

#include "stability_tool/analysed.hpp"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace stability_tool {

namespace {

constexpr std::array<std::string_view, 3> format_names{"allantools", "stable32", "csv"};

std::string value_text(double value)
{
    if (!std::isfinite(value)) {
        return "nan";
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.17g", value);
    return text.data();
}

std::string allantools_text(const even_series& series, const std::string& scale)
{
    const stability::series& data = series.data;
    std::string text = std::string("# fslog-stability: the evenly spaced series it analysed\n# data type: ") +
                       (data.kind == stability::data_kind::phase ? "phase" : "frequency") +
                       "\n# rate: " + value_text(1 / data.tau0) + " Hz (tau0 " + value_text(data.tau0) +
                       " s)\n# scale: " + scale + "\n# start: " +
                       (series.start_time ? utc_text(*series.start_time) : std::string("unknown")) + "\n";
    for (const double value : data.values) {
        text += value_text(value) + "\n";
    }
    return text;
}

std::string csv_text(const even_series& series)
{
    const stability::series& data = series.data;
    std::string text = "time_utc,elapsed_s,value,readings\n";
    for (std::size_t i = 0; i < data.values.size(); ++i) {
        const double elapsed = static_cast<double>(i) * data.tau0;
        text += (series.start_time ? utc_text(*series.start_time + elapsed) : std::string()) + "," +
                value_text(elapsed) + "," + value_text(data.values[i]) + "," +
                (i < series.readings.size() ? std::to_string(series.readings[i]) : std::string()) + "\n";
    }
    return text;
}

std::string write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) {
        out << text;
        out.close();
    }
    return out ? std::string() : "can't write " + path + ": " + std::strerror(errno);
}

std::string write_pieces(const std::string& path, const even_series& series)
{
    std::size_t number = 1;
    for (const auto& [begin, end] : pieces_of(series.data)) {
        std::string text;
        for (std::size_t i = begin; i < end; ++i) {
            text += value_text(series.data.values[i]) + "\n";
        }
        std::string trouble = write_file(number == 1 ? path : path + "." + std::to_string(number), text);
        if (!trouble.empty()) {
            return trouble;
        }
        ++number;
    }
    return {};
}

} // namespace

std::optional<series_export> parse_export(std::string_view text)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon + 1 == text.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < format_names.size(); ++i) {
        if (format_names[i] == text.substr(0, colon)) {
            return series_export{static_cast<export_format>(i), std::string(text.substr(colon + 1))};
        }
    }
    return std::nullopt;
}

std::string write_export(const series_export& to, const even_series& series, const std::string& scale)
{
    switch (to.format) {
    case export_format::allantools: return write_file(to.path, allantools_text(series, scale));
    case export_format::csv: return write_file(to.path, csv_text(series));
    case export_format::stable32: break;
    }
    return write_pieces(to.path, series);
}

} // namespace stability_tool
