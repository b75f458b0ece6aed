// fslog-csv [--time] [LOG]: fslog's log (a file, plain or gzip, or standard
// input) as CSV on standard output. Status 0, or 1 when a line was skipped
// as no log row, or 2 when the log can't be read or the CSV can't be written.
#include "csv/log_converter.hpp"

#include "logread/log_input.hpp"
#include "logread/write_all.hpp"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr int status_skipped = 1;
constexpr int status_trouble = 2;

// Writes out what the converter has so far. Rows go out as soon as they are
// complete, so a log that is still growing (fslog ... | fslog-csv) converts live.
bool pass_on(csv::log_converter& converter)
{
    logread::write_all(STDERR_FILENO, converter.take_messages());
    return logread::write_all(STDOUT_FILENO, converter.take_csv());
}

int convert(const std::string& path, csv::time_column time)
{
    logread::log_input input(path);
    if (input.open_error() != 0) {
        std::fprintf(stderr, "fslog-csv: can't open %s: %s\n", path.c_str(),
                     std::strerror(input.open_error()));
        return status_trouble;
    }
    csv::log_converter converter(input.name(), time);
    logread::line_reader& reader = converter.reader();
    const logread::feed_end end = logread::feed_all(input, reader, [&] { return pass_on(converter); });
    if (end == logread::feed_end::read_failed) {
        pass_on(converter);
        std::fprintf(stderr, "fslog-csv: can't read %s: %s\n", input.name().c_str(), input.error().c_str());
        return status_trouble;
    }
    if (end == logread::feed_end::stopped || !pass_on(converter)) {
        std::perror("fslog-csv: can't write the CSV");
        return status_trouble;
    }
    return converter.skipped_lines() > 0 ? status_skipped : 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string_view first = argc > 1 ? argv[1] : "";
    const bool with_time = first == "--time";
    const int logs = argc - 1 - (with_time ? 1 : 0);
    const char* log = logs == 1 ? argv[argc - 1] : "-";
    if (logs > 1 || (log[0] == '-' && log[1] != '\0')) {
        std::fputs("Usage: fslog-csv [--time] [LOG]\n", stderr);
        return status_trouble;
    }
    return convert(log, with_time ? csv::time_column::with : csv::time_column::without);
}
