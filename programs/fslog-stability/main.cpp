// fslog-stability [OPTION...] LOG... | --phase FILE | --frequency FILE: the
// Allan deviation family of a series of fslog's log (tuning word, vcxo,
// temperature or the DDS 2 counter), made evenly spaced, or of a data
// file; as text in Stable32's layout, JSON, a gnuplot picture, and the
// series itself for the field's tools. Status 0; 1 when a log or file
// can't be read or written, holds no values, or the picture can't be
// drawn; 2 for a bad command line or logs that overlap.
#include "gnuplot/run.hpp"
#include "logread/log_files.hpp"
#include "stability_tool/analysed.hpp"
#include "stability_tool/data_file.hpp"
#include "stability_tool/dds2_phase.hpp"
#include "stability_tool/options.hpp"
#include "stability_tool/reading_bins.hpp"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <variant>

namespace {

using stability_tool::even_series;
using stability_tool::options;

struct failure {
    std::string why;
    int status = cli::exit_failure;
};

int fail(const failure& what)
{
    std::fprintf(stderr, "fslog-stability: %s\n", what.why.c_str());
    return what.status;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

std::string source_of(const options& given)
{
    if (given.data_file) {
        return std::string(given.data_file->kind == stability::data_kind::phase ? "the phase"
                                                                                : "the frequency") +
               " in " + given.data_file->path;
    }
    return std::string(stability_tool::name_of(given.series)) + " of " + joined(given.logs);
}

std::string scale_of(const options& given)
{
    if (!given.data_file && given.series == stability_tool::row_series::dds2) {
        return "phase in seconds of the host's clock";
    }
    if (given.scale) {
        std::array<char, 32> scale{};
        std::snprintf(scale.data(), scale.size(), "%g", *given.scale);
        return std::string(scale.data()) + " fractional frequency per unit of the series";
    }
    return "1: the deviations are in the series' own units";
}

template <typename Events> std::variant<even_series, failure> read_rows(const options& given, Events events)
{
    const logread::files_read read = logread::read_log_files(given.logs, events, logread::time_zone::utc);
    if (read.end != logread::files_end::done) {
        return failure{read.problem,
                       read.end == logread::files_end::overlap ? cli::exit_usage : cli::exit_failure};
    }
    return events.finish();
}

std::variant<even_series, failure> series_of(const options& given)
{
    const double scale = given.scale.value_or(1);
    if (given.data_file) {
        auto read = stability_tool::read_data_file(given.data_file->path, given.data_file->kind, given.tau0);
        if (const auto* why = std::get_if<std::string>(&read)) {
            return failure{*why};
        }
        even_series series{std::move(*std::get_if<stability::series>(&read)), {}, {}, 0};
        for (double& value : series.data.values) {
            value *= scale;
        }
        return series;
    }
    const bool keep_readings =
        std::ranges::any_of(given.exports, [](const stability_tool::series_export& to) {
            return to.format == stability_tool::export_format::csv;
        });
    if (given.series == stability_tool::row_series::dds2) {
        return read_rows(given, stability_tool::dds2_phase(given.tau0, given.r0, keep_readings));
    }
    return read_rows(given, stability_tool::reading_bins(given.series, given.tau0, scale, keep_readings));
}

stability_tool::analysed analyse(const options& given, const even_series& series)
{
    const stability::analysis analysis(series.data, given.drift);
    stability_tool::analysed done{source_of(given),   scale_of(given),  &series,
                                  analysis.removed(), given.confidence, {}};
    const std::vector<std::size_t> factors = stability_tool::factors_for(given, series.data.values.size());
    for (const stability::deviation kind : given.kinds) {
        done.results.push_back(
            {kind, analysis.rows(kind, factors, {.confidence = given.confidence, .alpha = std::nullopt})});
    }
    return done;
}

std::string write_outputs(const options& given, const stability_tool::analysed& done)
{
    for (const stability_tool::series_export& to : given.exports) {
        if (std::string trouble = stability_tool::write_export(to, *done.series, done.scale);
            !trouble.empty()) {
            return trouble;
        }
    }
    const std::string report =
        given.json ? stability_tool::json_report(done) : stability_tool::text_report(done);
    if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0) {
        return "can't write the results";
    }
    if (given.plot) {
        return gnuplot::draw(*given.plot, [&](const std::string& output) {
            return stability_tool::plot_script(done, given.plot_format, output);
        });
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    const stability_tool::parsed_options parsed = stability_tool::parse_options(argc, argv);
    if (const auto status = cli::answer(stability_tool::program, parsed.line)) {
        return *status;
    }
    std::signal(SIGPIPE, SIG_IGN); // a gnuplot that dies early is an error to report, not a signal
    const options& given = parsed.given;
    auto read = series_of(given);
    if (const auto* why = std::get_if<failure>(&read)) {
        return fail(*why);
    }
    const even_series& series = *std::get_if<even_series>(&read);
    if (series.data.values.size() == stability_tool::gaps_in(series.data)) {
        return fail({"no values to analyse"});
    }
    const std::string trouble = write_outputs(given, analyse(given, series));
    return trouble.empty() ? cli::exit_ok : fail({trouble});
}
