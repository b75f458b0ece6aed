#include "stability_tool/options.hpp"

#include "stability/factors.hpp"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace stability_tool {

namespace {

constexpr std::array<cli::option, 13> option_table{{
    {.name = "series", .takes_value = true},
    {.name = "scale", .takes_value = true},
    {.name = "r0", .takes_value = true},
    {.name = "phase", .takes_value = true},
    {.name = "frequency", .takes_value = true},
    {.name = "tau0", .takes_value = true},
    {.name = "kind", .takes_value = true},
    {.name = "tau", .takes_value = true},
    {.name = "ci", .takes_value = true},
    {.name = "remove-drift", .takes_value = true},
    {.name = "json"},
    {.name = "plot", .takes_value = true},
    {.name = "export", .takes_value = true},
}};

std::optional<double> number_of(std::string_view text)
{
    const std::string whole(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(whole.c_str(), &end);
    if (whole.empty() || end != whole.c_str() + whole.size() || errno == ERANGE || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> positive(std::string_view text)
{
    const std::optional<double> value = number_of(text);
    return value && *value > 0 ? value : std::nullopt;
}

// Each of a comma-separated list, or false at the first that `read` refuses.
template <typename Read> bool each_of(std::string_view list, Read read)
{
    while (true) {
        const auto comma = list.find(',');
        if (!read(list.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

std::string read_kinds(options& given, std::string_view list)
{
    given.kinds.clear();
    const bool read = each_of(list, [&given](std::string_view name) {
        const auto kind = stability::parse_deviation(name);
        if (kind) {
            given.kinds.push_back(*kind);
        }
        return kind.has_value();
    });
    return read ? "" : "--kind: adev, oadev, mdev, tdev, hdev, ohdev or totdev";
}

std::string read_tau(options& given, std::string_view text)
{
    if (text == "octave" || text == "decade") {
        given.steps = text == "octave" ? tau_steps::octave : tau_steps::decade;
        return {};
    }
    given.steps = tau_steps::given;
    given.taus.clear();
    const bool read = each_of(text, [&given](std::string_view each) {
        const auto tau = positive(each);
        if (tau) {
            given.taus.push_back(*tau);
        }
        return tau.has_value();
    });
    return read ? "" : "--tau: octave, decade or seconds T1,T2,...";
}

std::string read_plot(options& given, const std::string& path)
{
    const bool svg = path.ends_with(".svg");
    if (!svg && !path.ends_with(".png")) {
        return "--plot: a FILE.png or FILE.svg";
    }
    given.plot = path;
    given.plot_format = svg ? picture_format::svg : picture_format::png;
    return {};
}

std::string read_number(std::optional<double>& into, std::string_view name, std::string_view text)
{
    into = positive(text);
    return into ? "" : "--" + std::string(name) + ": a number above 0";
}

std::string read_option(options& given, std::string_view name, std::string_view value)
{
    if (name == "series") {
        const auto series = parse_row_series(value);
        given.series = series.value_or(given.series);
        return series ? "" : "--series: tuning, vcxo, temperature or dds2";
    }
    if (name == "scale" || name == "r0") {
        return read_number(name == "scale" ? given.scale : given.r0, name, value);
    }
    if (name == "phase" || name == "frequency") {
        given.data_file =
            data_file_option{name == "phase" ? stability::data_kind::phase : stability::data_kind::frequency,
                             std::string(value)};
        return {};
    }
    if (name == "tau0") {
        std::optional<double> tau0;
        std::string why = read_number(tau0, name, value);
        given.tau0 = tau0.value_or(given.tau0);
        return why;
    }
    if (name == "ci") {
        const auto confidence = number_of(value);
        given.confidence = confidence.value_or(0);
        return confidence && *confidence > 0 && *confidence < 1 ? "" : "--ci: a confidence between 0 and 1";
    }
    if (name == "remove-drift") {
        given.drift = value == "line"        ? stability::drift_removal::frequency_line
                      : value == "quadratic" ? stability::drift_removal::phase_quadratic
                                             : stability::drift_removal::none;
        return given.drift != stability::drift_removal::none ? "" : "--remove-drift: line or quadratic";
    }
    if (name == "export") {
        const auto to = parse_export(value);
        if (to) {
            given.exports.push_back(*to);
        }
        return to ? "" : "--export: allantools:FILE, stable32:FILE or csv:FILE";
    }
    if (name == "plot") {
        return read_plot(given, std::string(value));
    }
    if (name == "kind") {
        return read_kinds(given, value);
    }
    if (name == "tau") {
        return read_tau(given, value);
    }
    given.json = true;
    return {};
}

std::string read_operands(options& given, const std::vector<std::string>& operands)
{
    given.logs = operands;
    if (given.data_file) {
        return given.logs.empty() ? "" : "a data file or LOGs, not both";
    }
    if (given.logs.empty()) {
        return "no LOG given (or --phase FILE, --frequency FILE)";
    }
    return given.series == row_series::dds2 && given.scale
               ? "--scale does not apply to dds2, already in seconds"
               : "";
}

} // namespace

parsed_options parse_options(int argc, char** argv)
{
    parsed_options parsed;
    parsed.line = cli::parse(argc, argv, program, option_table,
                             [&parsed](std::string_view name, std::string_view value) {
                                 return read_option(parsed.given, name, value);
                             });
    if (parsed.line.error.empty()) {
        parsed.line.error = read_operands(parsed.given, parsed.line.operands);
    }
    return parsed;
}

std::vector<std::size_t> factors_for(const options& given, std::size_t values)
{
    const std::size_t largest = stability::default_largest_factor(values);
    switch (given.steps) {
    case tau_steps::decade: return stability::decade_factors(largest);
    case tau_steps::given: return stability::factors_for_taus(given.taus, given.tau0);
    case tau_steps::octave: break;
    }
    return stability::octave_factors(largest);
}

} // namespace stability_tool
