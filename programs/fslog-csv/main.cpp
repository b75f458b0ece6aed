// fslog-csv [--time] [--utc] [LOG]: fslog's log (a file, plain or gzip, or
// standard input) as CSV on standard output. Status 0, or 1 when a line was
// skipped as no log row (or, with a time column, a start line gave no
// time), or 2 for a bad command line, a log that can't be read or a CSV
// that can't be written.
#include "cli/cli.hpp"
#include "csv/log_converter.hpp"
#include "logread/log_input.hpp"
#include "logread/write_all.hpp"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr cli::program csv_program{"fslog-csv",
                                   "Usage: fslog-csv [--time] [--utc] [LOG]\n"
                                   "Writes fslog's log (LOG, plain or gzip; standard input without LOG or\n"
                                   "for -) as CSV on standard output, one line per row.\n"
                                   "  --time      add a first column: each row's local date and time, with\n"
                                   "              its UTC offset\n"
                                   "  --utc       the same in UTC\n"
                                   "  -h, --help  show this text\n"
                                   "  --version   show the version\n"};
constexpr std::array<cli::option, 2> csv_options{{{.name = "time"}, {.name = "utc"}}};

// Writes out what the converter has so far. Rows go out as soon as they are
// complete, so a log that is still growing (fslog ... | fslog-csv) converts live.
bool pass_on(csv::log_converter& converter)
{
    logread::write_all(STDERR_FILENO, converter.take_messages());
    return logread::write_all(STDOUT_FILENO, converter.take_csv());
}

int convert(const std::string& path, csv::time_column time, logread::time_zone zone)
{
    logread::log_input input(path);
    if (input.open_error() != 0) {
        std::fprintf(stderr, "fslog-csv: can't open %s: %s\n", path.c_str(),
                     std::strerror(input.open_error()));
        return cli::exit_trouble;
    }
    csv::log_converter converter(input.name(), time, zone);
    logread::line_reader& reader = converter.reader();
    const logread::feed_end end = logread::feed_all(input, reader, [&] { return pass_on(converter); });
    if (end == logread::feed_end::read_failed) {
        pass_on(converter);
        std::fprintf(stderr, "fslog-csv: can't read %s: %s\n", input.name().c_str(), input.error().c_str());
        return cli::exit_trouble;
    }
    if (end == logread::feed_end::stopped || !pass_on(converter)) {
        std::perror("fslog-csv: can't write the CSV");
        return cli::exit_trouble;
    }
    return converter.skipped_lines() > 0 ? cli::exit_partial : cli::exit_ok;
}

} // namespace

int main(int argc, char** argv)
{
    csv::time_column time = csv::time_column::without;
    logread::time_zone zone = logread::time_zone::local;
    cli::command_line line =
        cli::parse(argc, argv, csv_program, csv_options, [&](std::string_view name, std::string_view) {
            time = csv::time_column::with;
            zone = name == "utc" ? logread::time_zone::utc : zone;
            return std::string();
        });
    if (line.operands.size() > 1) {
        line.error = "one LOG at most";
    }
    if (const auto status = cli::answer(csv_program, line)) {
        return *status;
    }
    return convert(line.operands.empty() ? std::string(logread::log_input::standard_input)
                                         : line.operands.front(),
                   time, zone);
}
