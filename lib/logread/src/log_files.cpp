#include "logread/log_files.hpp"

#include "logread/log_input.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace logread {

namespace {

// Start lines show whole seconds, so a row's time may be up to a second early.
constexpr double start_time_resolution = 1.0;

// Passes the events on while the files follow each other in time; at the
// first row that lies before the previous file's last row, it stops
// passing anything on and keeps what it found.
class overlap_guard : public log_events {
public:
    overlap_guard(log_events& next, time_zone zone) : next_(next), zone_(zone) {}

    void on_file(const std::string& name) override
    {
        previous_time_ = last_time_;
        previous_file_ = last_file_;
        file_ = name;
        next_.on_file(name);
    }
    void on_run_start(const run_start& start) override
    {
        if (problem_.empty()) {
            next_.on_run_start(start);
        }
    }
    void on_header(std::size_t line_number) override
    {
        if (problem_.empty()) {
            next_.on_header(line_number);
        }
    }
    void on_row(const row_event& row) override
    {
        if (!problem_.empty()) {
            return;
        }
        if (row.time && previous_time_ && *row.time < *previous_time_ - start_time_resolution) {
            problem_ = file_ + ":" + std::to_string(row.line_number) + ": a row at " +
                       iso_time(*row.time, zone_) + " comes before the last row of " + previous_file_ +
                       ", at " + iso_time(*previous_time_, zone_) + ": " + file_ + " and " + previous_file_ +
                       " overlap (give one unit's files, oldest first)";
            return;
        }
        if (row.time) {
            last_time_ = row.time;
            last_file_ = file_;
        }
        next_.on_row(row);
    }
    void on_skipped(const skipped_line& line) override
    {
        if (problem_.empty()) {
            next_.on_skipped(line);
        }
    }
    void on_failed_start(const failed_start& start) override
    {
        if (problem_.empty()) {
            next_.on_failed_start(start);
        }
    }
    void on_file_end() override
    {
        if (problem_.empty()) {
            next_.on_file_end();
        }
    }

    const std::string& problem() const { return problem_; }

private:
    log_events& next_;
    time_zone zone_;
    std::string file_;
    std::optional<double> last_time_;     // of the latest row with a time
    std::string last_file_;               // the file that holds it
    std::optional<double> previous_time_; // the latest timed row before this file
    std::string previous_file_;           // and its file
    std::string problem_;
};

files_read open_failure(const std::string& path, int error)
{
    return {files_end::open_failed, "can't open " + path + ": " + std::strerror(error)};
}

// Checks each file before any is read, so that a misspelt name stops a
// tool before it has written half its output. Without opening them: a
// writer waiting to open a FIFO would take a passing open for its reader.
std::optional<files_read> first_unreadable(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        if (path != log_input::standard_input && faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) {
            return open_failure(path, errno);
        }
    }
    return std::nullopt;
}

} // namespace

files_read read_log_files(const std::vector<std::string>& paths, log_events& events, time_zone zone,
                          const std::function<bool()>& after_piece)
{
    if (auto failure = first_unreadable(paths)) {
        return *failure;
    }
    overlap_guard guard(events, zone);
    line_reader reader(guard);
    for (const std::string& path : paths) {
        log_input input(path);
        if (input.open_error() != 0) {
            return open_failure(path, input.open_error());
        }
        guard.on_file(input.name());
        const feed_end end = feed_all(
            input, reader, [&] { return guard.problem().empty() && (!after_piece || after_piece()); });
        if (!guard.problem().empty()) {
            return {files_end::overlap, guard.problem()};
        }
        if (end == feed_end::read_failed) {
            return {files_end::read_failed, "can't read " + input.name() + ": " + input.error()};
        }
        if (end == feed_end::stopped) {
            return {files_end::stopped, {}};
        }
    }
    return {};
}

} // namespace logread
