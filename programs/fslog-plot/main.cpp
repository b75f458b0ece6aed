// fslog-plot [--from TIME] [--to TIME] [--size WxH] [--elapsed] [--utc] LOG... OUT:
// fslog's log (several files read in order as one log, plain or gzip) drawn
// by gnuplot as a PNG or SVG. The log is read once and reduced to one bin
// per pixel column. Status 0, 1 when the log can't be read, holds no rows
// or can't be drawn, 2 for a bad command line or files that overlap.
#include "gnuplot/run.hpp"
#include "logread/log_files.hpp"
#include "plot/gnuplot_script.hpp"
#include "plot/log_sampler.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

int fail(const std::string& why, int status = cli::exit_failure)
{
    std::fprintf(stderr, "fslog-plot: %s\n", why.c_str());
    return status;
}

std::string names_of(const std::vector<std::string>& logs, bool base_only)
{
    std::string names;
    for (const std::string& log : logs) {
        names +=
            (names.empty() ? "" : ", ") + (base_only ? std::filesystem::path(log).filename().string() : log);
    }
    return names;
}

// What was read but could not go on the axis chosen.
void note_rows_left_out(const plot::log_sampler& sampler)
{
    if (sampler.elapsed_for_want_of_start()) {
        std::fputs("fslog-plot: no start line before the first row: the time of day is unknown, "
                   "so the axis shows seconds since the run's start\n",
                   stderr);
    }
    if (sampler.rows_off_axis() > 0) {
        std::fprintf(stderr, "fslog-plot: %llu rows left out: %s\n",
                     static_cast<unsigned long long>(sampler.rows_off_axis()),
                     sampler.axis() == plot::time_axis::elapsed
                         ? "they belong to later runs, and seconds since the start show one run"
                         : "their run's start line holds no readable time");
    }
    if (sampler.bins()->before_first() > 0) {
        std::fprintf(stderr,
                     "fslog-plot: %llu rows left out: they come before the first row's time (give the logs "
                     "oldest first)\n",
                     static_cast<unsigned long long>(sampler.bins()->before_first()));
    }
}

int draw(const plot::options& given, plot::figure drawing)
{
    const std::string trouble = gnuplot::draw(given.out, [&drawing](const std::string& output) {
        drawing.output = output;
        return plot::gnuplot_script(drawing);
    });
    return trouble.empty() ? cli::exit_ok : fail(trouble);
}

} // namespace

int main(int argc, char** argv)
{
    const plot::parsed_options parsed = plot::parse_options(argc, argv);
    if (const auto status = cli::answer(plot::program, parsed.line)) {
        return *status;
    }
    const plot::options& given = parsed.given;
    std::signal(SIGPIPE, SIG_IGN); // a gnuplot that dies early is an error to report, not a signal
    plot::log_sampler sampler(given, plot::plot_columns(given.width));
    const logread::files_read read =
        logread::read_log_files(given.logs, sampler, given.zone, [&] { return sampler.problem().empty(); });
    // Files that overlap were given wrong, as on a bad command line.
    if (read.end != logread::files_end::done || !sampler.problem().empty()) {
        return fail(read.problem.empty() ? sampler.problem() : read.problem,
                    read.end == logread::files_end::overlap ? cli::exit_usage : cli::exit_failure);
    }
    if (sampler.rows_read() == 0) {
        return fail(names_of(given.logs, false) + (given.logs.size() == 1 ? " holds" : " hold") +
                    " no log rows");
    }
    note_rows_left_out(sampler);
    plot::binned bins = sampler.bins()->finish();
    if (bins.bins.empty()) {
        return fail(given.from || given.to ? "no log rows in the window of --from and --to"
                                           : "none of the rows can be placed on the time axis");
    }
    plot::figure drawing{std::move(bins),
                         sampler.axis(),
                         given.zone,
                         sampler.elapsed_for_want_of_start(),
                         "fslog: " + names_of(given.logs, true),
                         given.width,
                         given.height,
                         given.format,
                         {}};
    return draw(given, std::move(drawing));
}
