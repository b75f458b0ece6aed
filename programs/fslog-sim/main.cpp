// fslog-sim: plays the unit at the far end of a serial line on a
// pseudo-terminal, either for one command run against it or, with --link,
// until it is interrupted.
#include "sim/fault_picker.hpp"
#include "sim/line_schedule.hpp"
#include "sim/options.hpp"
#include "sim/unit_model.hpp"
#include "unit/pty_line.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int status_failure = 1;
constexpr int status_cannot_run = 127;
constexpr int status_signal_base = 128;

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Signals arrive as bytes on a pipe, so the serving loop's poll sees them.
int signal_pipe_in = -1;
int signal_pipe_out = -1;

extern "C" void on_signal(int number)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t ignored = write(signal_pipe_out, &byte, 1);
    errno = saved;
}

void catch_signals()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail("pipe");
    }
    signal_pipe_in = ends[0];
    signal_pipe_out = ends[1];
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaction(number, &action, nullptr);
    }
}

class simulator {
public:
    simulator(const sim::sim_options& options, std::uint64_t seed, int master, std::FILE* record)
        : model_(seed), faults_(options.faults, seed),
          schedule_(options.fast, options.adapter_latency_ms / 1000.0), master_(master), record_(record)
    {
    }

    // Serves until `should_stop` says so after a signal.
    template <typename StopCheck> void serve(StopCheck should_stop)
    {
        for (;;) {
            pollfd watched[2] = {{master_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0},
                                 {signal_pipe_in, POLLIN, 0}};
            const std::optional<timespec> timeout = poll_timeout();
            if (ppoll(watched, 2, timeout ? &*timeout : nullptr, nullptr) < 0 && errno != EINTR) {
                fail("ppoll");
            }
            if ((watched[1].revents & POLLIN) != 0 && should_stop(pending_signals())) {
                return;
            }
            if ((watched[0].revents & POLLIN) != 0) {
                read_commands();
            }
            send_due_bytes();
        }
    }

    // Records what was only partly sent, and returns the fault tally.
    std::string finish()
    {
        for (const sim::answered_command& command : schedule_.take_unfinished()) {
            record(command);
        }
        return faults_.summary(commands_);
    }

private:
    double now() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

    // Time until the next byte is due, or none to wait for the host alone.
    // Nanoseconds, not poll's milliseconds: rounding every reply's last byte
    // up to the next millisecond would slow the line below its speed.
    std::optional<timespec> poll_timeout() const
    {
        const auto due = schedule_.next_due();
        if (!due || blocked_) {
            return std::nullopt;
        }
        const auto wait = std::chrono::duration<double>(std::max(0.0, *due - now()));
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        return timespec{nanoseconds / 1'000'000'000, nanoseconds % 1'000'000'000};
    }

    std::vector<int> pending_signals() const
    {
        std::vector<int> numbers;
        unsigned char byte = 0;
        while (read(signal_pipe_in, &byte, 1) == 1) {
            numbers.push_back(byte);
        }
        return numbers;
    }

    void read_commands()
    {
        std::uint8_t chunk[256];
        ssize_t got = 0;
        while ((got = read(master_, chunk, sizeof chunk)) > 0) {
            for (ssize_t i = 0; i < got; ++i) {
                if (const auto code = parser_.push(chunk[i])) {
                    answer(*code);
                }
            }
        }
    }

    void answer(std::uint8_t code)
    {
        ++commands_;
        const double received = now();
        const unit::bytes reply = sim::answer(code, model_.at(received));
        const sim::fault kind = reply.empty() ? sim::fault::none : faults_.pick();
        schedule_.queue(received, code, kind, sim::apply_fault(reply, kind));
    }

    void send_due_bytes()
    {
        blocked_ = false;
        for (;;) {
            while (const auto done = schedule_.take_finished()) {
                record(*done);
            }
            const auto due = schedule_.due_bytes(now());
            if (due.empty()) {
                return;
            }
            const ssize_t put = write(master_, due.data(), due.size());
            if (put <= 0) {
                // The far end's input queue is full: wait until it reads.
                blocked_ = put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
                return;
            }
            schedule_.mark_sent(static_cast<std::size_t>(put));
        }
    }

    void record(const sim::answered_command& command)
    {
        if (record_ != nullptr) {
            std::fprintf(record_, "%s\n", sim::record_line(command).c_str());
            std::fflush(record_);
        }
    }

    sim::unit_model model_;
    sim::fault_picker faults_;
    sim::line_schedule schedule_;
    unit::command_parser parser_;
    int master_;
    std::FILE* record_;
    std::uint64_t commands_ = 0;
    bool blocked_ = false;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

pid_t start_command(std::vector<std::string> command, const std::string& device)
{
    command.push_back(device);
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (std::string& arg : command) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        fail("fork");
    }
    if (child == 0) {
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "fslog-sim: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(status_cannot_run);
    }
    return child;
}

int exit_status_of(int wait_status)
{
    return WIFSIGNALED(wait_status) ? status_signal_base + WTERMSIG(wait_status) : WEXITSTATUS(wait_status);
}

// Runs the command against the line; its exit status, or 128 + the signal
// that ended it. A Ctrl-C reaches the command from the terminal too; a
// signal sent to the simulator alone is passed on, and the simulator stays
// until the command has gone.
int run_command(simulator& unit, const sim::sim_options& options, const unit::pty_line& line)
{
    const pid_t child = start_command(options.command, line.path);
    int status = 0;
    unit.serve([&](const std::vector<int>& signals) {
        for (const int number : signals) {
            if (number != SIGCHLD) {
                kill(child, number);
            }
        }
        return waitpid(child, &status, WNOHANG) == child;
    });
    return exit_status_of(status);
}

// Points `path` at the device, replacing an old symlink (left behind by a
// simulator that was killed) but nothing else.
void make_link(const std::string& path, const std::string& device)
{
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        unlink(path.c_str());
    }
    if (symlink(device.c_str(), path.c_str()) != 0) {
        fail("symlink " + path);
    }
}

// Removes the link unless something else has taken its place meanwhile.
void remove_link(const std::string& path, const std::string& device)
{
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length >= 0 && std::string(target, static_cast<std::size_t>(length)) == device) {
        unlink(path.c_str());
    }
}

int serve_link(simulator& unit, const sim::sim_options& options, const unit::pty_line& line)
{
    make_link(options.link_path, line.path);
    std::printf("%s\n", line.path.c_str());
    std::fflush(stdout);
    unit.serve([](const std::vector<int>& signals) {
        return std::any_of(signals.begin(), signals.end(), [](int number) { return number != SIGCHLD; });
    });
    remove_link(options.link_path, line.path);
    return 0;
}

int run(const sim::sim_options& options)
{
    std::FILE* record = nullptr;
    // "e": close-on-exec, so the command run against the line does not hold the record open.
    if (!options.record_path.empty() && (record = std::fopen(options.record_path.c_str(), "we")) == nullptr) {
        fail("cannot write " + options.record_path);
    }
    const std::uint64_t seed = options.seed.value_or(std::random_device{}());
    catch_signals();
    const unit::pty_line line = unit::open_pty_line();
    // The unit never blocks on a host that has stopped reading.
    if (fcntl(line.master, F_SETFL, O_NONBLOCK) != 0) {
        fail("fcntl");
    }
    simulator unit(options, seed, line.master, record);
    const int status =
        options.command.empty() ? serve_link(unit, options, line) : run_command(unit, options, line);
    std::fprintf(stderr, "%s\n", unit.finish().c_str());
    if (record != nullptr) {
        std::fclose(record);
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    const sim::parsed_options parsed = sim::parse_options(argc, argv);
    if (const auto status = cli::answer(sim::program(), parsed.line)) {
        return *status;
    }
    // The default 50 us of timer slack lands on every reply's last byte,
    // and so on every exchange: enough to keep the line below its speed.
    prctl(PR_SET_TIMERSLACK, 1UL);
    try {
        return run(parsed.options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fslog-sim: %s\n", error.what());
        return status_failure;
    }
}
