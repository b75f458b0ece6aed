// fslog-report [--json] [--utc] LOG...: a log's health per run and in all,
// read in one pass (several LOGs are read in order as one log; .gz files
// directly). fslog-report --follow [--utc] LOG: a live view of a log still
// being written. Status 0; 1 when the log holds no row; 2 for a bad command
// line, a log that can't be read, or files that overlap.
#include "cli/cli.hpp"
#include "logread/follow.hpp"
#include "logread/log_files.hpp"
#include "report/live_view.hpp"
#include "report/log_summary.hpp"
#include "report/report_output.hpp"
#include "report/terminal_screen.hpp"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr cli::program report_program{
    "fslog-report", "Usage: fslog-report [--json] [--utc] LOG...\n"
                    "       fslog-report --follow [--utc] LOG\n"
                    "Sums up fslog's log per run and in all (several LOGs read in order as one,\n"
                    "plain or gzip), or watches a log that is still being written.\n"
                    "  --json      the summary as one JSON object\n"
                    "  --follow    a live view of LOG: redrawn every second on a terminal, else\n"
                    "              one line every 10 s\n"
                    "  --utc       times in UTC rather than local time\n"
                    "  -h, --help  show this text\n"
                    "  --version   show the version\n"};
constexpr std::array<cli::option, 3> report_options{{{.name = "json"}, {.name = "follow"}, {.name = "utc"}}};

struct options {
    bool json = false;
    bool follow = false;
    logread::time_zone zone = logread::time_zone::local;
    std::vector<std::string> logs;
};

// Why the LOGs given won't do with the options, or nothing.
std::string logs_problem(const options& given)
{
    if (given.follow && (given.json || given.logs.size() != 1)) {
        return "--follow takes one LOG, and no --json";
    }
    return given.logs.empty() ? "no LOG given" : "";
}

// Reads the command line into `parsed`; the status to leave with, or
// nothing to go on.
std::optional<int> parse_options(int argc, char** argv, options& parsed)
{
    cli::command_line line = cli::parse(argc, argv, report_program, report_options,
                                        [&parsed](std::string_view name, std::string_view) {
                                            if (name == "utc") {
                                                parsed.zone = logread::time_zone::utc;
                                            } else {
                                                (name == "json" ? parsed.json : parsed.follow) = true;
                                            }
                                            return std::string();
                                        });
    parsed.logs = line.operands;
    if (line.error.empty()) {
        line.error = logs_problem(parsed);
    }
    return cli::answer(report_program, line);
}

bool write_out(std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

// Writes each run's block as its run ends (out at once, for a log that is
// still coming through a pipe), and says what start lines need said;
// after a failed write it writes no more.
class report_writer : public report::summary_events {
public:
    explicit report_writer(std::unique_ptr<report::report_form> form) : form_(std::move(form)) {}

    void on_run_end(const report::summary& run) override { write(form_->run_block(run)); }
    void on_start_note(const std::string& note) override
    {
        std::fprintf(stderr, "fslog-report: %s\n", note.c_str());
    }
    void end(const report::log_summary& log) { write(form_->ending(log)); }
    bool written() const { return write_error_ == 0; }
    int write_error() const { return write_error_; }

private:
    void write(std::string_view text)
    {
        if (written() && !write_out(text)) {
            write_error_ = errno != 0 ? errno : EIO;
        }
    }

    std::unique_ptr<report::report_form> form_;
    int write_error_ = 0;
};

int summarise(const options& given)
{
    report_writer out(given.json ? report::json_report(given.zone) : report::text_report(given.zone));
    report::log_summary summary(out);
    const logread::files_read read =
        logread::read_log_files(given.logs, summary, given.zone, [&out] { return out.written(); });
    if (read.end != logread::files_end::done && read.end != logread::files_end::stopped) {
        std::fprintf(stderr, "fslog-report: %s\n", read.problem.c_str());
        return cli::exit_trouble;
    }
    summary.close();
    if (summary.skipped_lines() > 0) {
        std::fprintf(stderr, "fslog-report: %llu lines are no log rows and were left out\n",
                     static_cast<unsigned long long>(summary.skipped_lines()));
    }
    out.end(summary);
    if (!out.written()) {
        std::fprintf(stderr, "fslog-report: can't write the report: %s\n", std::strerror(out.write_error()));
        return cli::exit_trouble;
    }
    return summary.total().rows == 0 ? cli::exit_partial : cli::exit_ok;
}

double seconds_now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double monotonic_now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Sleeps a quarter second, or less when a stop signal comes.
void pause()
{
    const timespec quarter{0, 250'000'000};
    nanosleep(&quarter, nullptr);
}

// Follows the log until a stop signal; on a terminal the screen is redrawn
// every second and given back as it was at the end, otherwise one line is
// printed every 10 s. Then the signal ends the program as it would have.
int follow(const std::string& path, logread::time_zone zone)
{
    report::catch_stop_signals();
    report::live_state state(path);
    const report::live_view view(state, zone);
    logread::followed_log log(path, state);
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    const double every = terminal ? 1 : 10;
    double next_output = monotonic_now() + (terminal ? 0 : every);
    {
        std::optional<report::terminal_screen> screen;
        if (terminal) {
            screen.emplace(STDOUT_FILENO);
        }
        while (report::stop_signal() == 0) {
            const logread::follow_result result = log.poll();
            state.set_reading(result, log.follower().following());
            if (monotonic_now() >= next_output) {
                next_output += every;
                if (screen) {
                    screen->draw(view.screen(seconds_now()));
                } else if (!write_out(view.summary_line(seconds_now()) + "\n")) {
                    std::fprintf(stderr, "fslog-report: can't write the summary: %s\n", std::strerror(errno));
                    return cli::exit_trouble;
                }
            }
            if (result.event != logread::follow_event::data) {
                pause();
            }
        }
    }
    const int number = report::stop_signal();
    std::signal(number, SIG_DFL);
    std::raise(number);
    return cli::exit_ok;
}

} // namespace

int main(int argc, char** argv)
{
    options given;
    if (const auto status = parse_options(argc, argv, given)) {
        return *status;
    }
    return given.follow ? follow(given.logs.front(), given.zone) : summarise(given);
}
