// stability_tool: the evenly spaced series that was analysed, written for
// the field's tools (never the raw rows):
//   allantools  one value a line, gaps as "nan", after '#' lines giving the
//               data type, the rate (1/tau0), the scale and the start in UTC
//   stable32    one value a line and no header, one file per gap-free
//               piece: FILE, then FILE.2, FILE.3, ...
//   csv         time_utc,elapsed_s,value,readings (readings: those behind
//               the value; 0 for one interpolated)
#pragma once

#include "stability_tool/even_series.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace stability_tool {

enum class export_format { allantools, stable32, csv };

struct series_export {
    export_format format;
    std::string path;
};

// "FORMAT:FILE", or nothing when it is no such thing.
std::optional<series_export> parse_export(std::string_view text);

// Writes the series; empty, or what went wrong ("can't write F: ...").
// `scale` is the header's word on the values' unit.
std::string write_export(const series_export& to, const even_series& series, const std::string& scale);

} // namespace stability_tool
