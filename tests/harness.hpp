// Test harness: a pseudo-terminal that the test drives as the unit, the
// port opened on one, a stand-in unit serving scripted replies, stdout
// capture, subprocesses and the time zone.
#pragma once

#include "link/serial_port.hpp"
#include "unit/unit_side.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace harness {

// A raw pty pair. The test is the unit on the master side; the code under
// test opens slave_path() like any serial device. The test keeps a slave
// descriptor open so the master never sees a hang-up between opens, and both
// descriptors are close-on-exec so no child process inherits them.
class pty_pair {
public:
    pty_pair();
    ~pty_pair();
    pty_pair(const pty_pair&) = delete;
    pty_pair& operator=(const pty_pair&) = delete;

    const std::string& slave_path() const { return slave_path_; }
    int master() const { return master_; }

    // Puts bytes on the line towards the code under test.
    void send(const unit::bytes& data) const;
    // Reads whatever the code under test sends within `timeout`.
    unit::bytes receive(std::chrono::milliseconds timeout) const;
    // The next valid command frame's code, or nothing within `timeout`.
    std::optional<std::uint8_t> next_command(std::chrono::milliseconds timeout);
    // Pulls the plug: closes both of the test's descriptors.
    void unplug();
    // Hangs the line up as a USB adapter's driver does when it goes: every
    // descriptor open on the slave reads end of file from then on, and a new
    // open works again. False without the privilege (CAP_SYS_ADMIN).
    bool hang_up();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
    unit::command_parser parser_;
};

// A fixture for tests of the host's side of the line: the port opened with
// serial_init on the slave of `line`, whose master the test plays as the unit.
class port_on_pty : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(serial_init(line.slave_path().c_str()), 1); }
    pty_pair line;
};

// Seconds gone since `start`, for tests that time the line's pauses.
double seconds_since(std::chrono::steady_clock::time_point start);

// A stand-in unit on a background thread: for each command frame it calls
// the responder and puts the bytes it returns on the line (none: silence).
class scripted_unit {
public:
    using responder = std::function<unit::bytes(std::uint8_t code)>;
    scripted_unit(pty_pair& line, responder respond);
    ~scripted_unit();
    scripted_unit(const scripted_unit&) = delete;
    scripted_unit& operator=(const scripted_unit&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A responder that answers each code in `by_code` with its reply, others with silence.
scripted_unit::responder answering(std::map<std::uint8_t, unit::bytes> by_code);

// Captures what this process prints on stdout while it lives.
class stdout_capture {
public:
    stdout_capture();
    ~stdout_capture();
    stdout_capture(const stdout_capture&) = delete;
    stdout_capture& operator=(const stdout_capture&) = delete;
    // Everything printed so far (flushes stdout first).
    std::string text();

private:
    int saved_ = -1;
    int file_ = -1;
};

struct launch_options {
    bool ignore_sigpipe = false;
    // Instead of the pipes that read_until and err() read: descriptors of
    // the test's that become the program's stdout and stderr (a file, a
    // terminal), or descriptors 0, 1 and 2 all closed at start
    // (closed_stdio).
    int stdout_fd = -1;
    int stderr_fd = -1;
    bool closed_stdio = false;
    // Files made anew for stdout or stderr, for programs that run longer
    // than a pipe would hold their output.
    std::string stdout_path{};
    std::string stderr_path{};
    // The stdout pipe non-blocking and one page small, so that a reader
    // that pauses soon makes the program's writes fail with EAGAIN.
    bool nonblocking_stdout = false;
    // RLIMIT_FSIZE in bytes, as `ulimit -f` sets it: the signal that a write
    // beyond it raises is left as the shell leaves it.
    std::optional<rlim_t> file_size_limit{};
};

// A program run as a subprocess in a session of its own (so it has no
// controlling terminal, and a port opened without O_NOCTTY would become
// one), with stdout and stderr on pipes. It is found on PATH unless its
// name holds a slash. The whole session is killed when this goes, and by
// the kernel should the test itself die first.
class child_process {
public:
    explicit child_process(const std::vector<std::string>& argv, launch_options options = {});
    ~child_process();
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    // Reads stdout until `done` holds for all read so far, or `timeout`.
    // Returns whether `done` held.
    bool read_until(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds timeout);
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }
    // Closes the test's end of the stdout pipe.
    void close_stdout();
    // Waits for the process to end within `timeout`; the wait status, or
    // nothing if it is still running.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    // Sends it `signal`.
    void signal(int number) const;
    // Kills its session with SIGKILL and reaps it, keeping what it had
    // printed.
    void kill();
    // User plus system CPU time used so far, in seconds.
    double cpu_seconds() const;
    pid_t pid() const { return pid_; }

private:
    void drain(int fd, std::string& into) const;
    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    bool reaped_ = false;
    std::string out_;
    std::string err_;
};

// A program run to its end: its exit code (nothing if it did not exit
// normally within the time) and all it printed. For programs whose stderr
// fits the pipe.
struct finished_run {
    std::optional<int> exit_code;
    std::string out;
    std::string err;
};
finished_run run_to_end(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

// True when a wait status says the process exited with `code`.
bool exited_with(const std::optional<int>& status, int code);

// A scratch directory for one test, removed with it.
class scratch_dir {
public:
    explicit scratch_dir(const std::string& name);
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    std::string operator/(const std::string& file) const { return (path_ / file).string(); }

private:
    std::filesystem::path path_;
};

// TZ set, while this lives, to the zone the tests' logs were written in: for the code
// under test and for the programs the test starts. The zone before comes back after.
class zone_guard {
public:
    zone_guard();
    ~zone_guard();
    zone_guard(const zone_guard&) = delete;
    zone_guard& operator=(const zone_guard&) = delete;

private:
    std::optional<std::string> saved_;
};

// All of a file, as text.
std::string file_text(const std::string& path);

// Number of complete and partial rows in a log (lines after the header).
std::vector<std::string> log_rows(const std::string& log);

} // namespace harness
