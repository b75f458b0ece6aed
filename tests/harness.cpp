#include "harness.hpp"

#include "unit/pty_line.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace harness {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

bool wait_readable(int fd, std::chrono::milliseconds timeout)
{
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, static_cast<int>(timeout.count())) > 0;
}

using clock = std::chrono::steady_clock;

std::chrono::milliseconds left_until(clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
    return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

} // namespace

pty_pair::pty_pair()
{
    const unit::pty_line line = unit::open_pty_line();
    master_ = line.master;
    slave_ = line.slave;
    slave_path_ = line.path;
}

pty_pair::~pty_pair()
{
    unplug();
}

void pty_pair::unplug()
{
    if (master_ >= 0) {
        close(master_);
    }
    if (slave_ >= 0) {
        close(slave_);
    }
    master_ = slave_ = -1;
}

bool pty_pair::hang_up()
{
    if (ioctl(slave_, TIOCVHANGUP) != 0) {
        if (errno == EPERM) {
            return false;
        }
        fail("TIOCVHANGUP");
    }
    // A fresh slave descriptor of our own, so the master sees no hang-up,
    // and raw mode again: the hang-up put the line back to its defaults.
    close(slave_);
    slave_ = open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave_ < 0 || tcgetattr(master_, &settings) != 0) {
        fail("reopen " + slave_path_);
    }
    cfmakeraw(&settings);
    tcsetattr(master_, TCSANOW, &settings);
    return true;
}

void pty_pair::send(const unit::bytes& data) const
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = write(master_, data.data() + done, data.size() - done);
        if (put < 0 && errno != EINTR) {
            fail("write to master");
        }
        done += put > 0 ? static_cast<std::size_t>(put) : 0;
    }
}

unit::bytes pty_pair::receive(std::chrono::milliseconds timeout) const
{
    unit::bytes got;
    const auto deadline = clock::now() + timeout;
    while (wait_readable(master_, left_until(deadline))) {
        std::uint8_t chunk[256];
        const ssize_t n = read(master_, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

std::optional<std::uint8_t> pty_pair::next_command(std::chrono::milliseconds timeout)
{
    const auto deadline = clock::now() + timeout;
    while (wait_readable(master_, left_until(deadline))) {
        std::uint8_t byte = 0;
        if (read(master_, &byte, 1) != 1) {
            return std::nullopt;
        }
        if (const auto code = parser_.push(byte)) {
            return code;
        }
    }
    return std::nullopt;
}

double seconds_since(clock::time_point start)
{
    return std::chrono::duration<double>(clock::now() - start).count();
}

scripted_unit::scripted_unit(pty_pair& line, responder respond)
    : thread_([this, &line, respond = std::move(respond)] {
          while (!stop_) {
              if (const auto code = line.next_command(std::chrono::milliseconds(20))) {
                  const unit::bytes reply = respond(*code);
                  if (!reply.empty()) {
                      line.send(reply);
                  }
              }
          }
      })
{
}

scripted_unit::~scripted_unit()
{
    stop_ = true;
    thread_.join();
}

scripted_unit::responder answering(std::map<std::uint8_t, unit::bytes> by_code)
{
    return [by_code = std::move(by_code)](std::uint8_t code) {
        const auto found = by_code.find(code);
        return found == by_code.end() ? unit::bytes{} : found->second;
    };
}

stdout_capture::stdout_capture()
{
    std::fflush(stdout);
    char name[] = "/tmp/fslog-capture-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0) {
        fail("mkstemp");
    }
    unlink(name);
    saved_ = dup(STDOUT_FILENO);
    dup2(file_, STDOUT_FILENO);
}

stdout_capture::~stdout_capture()
{
    // GoogleTest reports failures on stdout too, so a failure inside the
    // capture lands in it: show it all on stderr rather than lose it.
    if (::testing::Test::HasFailure()) {
        std::fprintf(stderr, "--- captured stdout ---\n%s\n--- end ---\n", text().c_str());
    }
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    close(file_);
}

std::string stdout_capture::text()
{
    std::fflush(stdout);
    std::string all;
    char chunk[4096];
    ssize_t n = 0;
    off_t at = 0;
    while ((n = pread(file_, chunk, sizeof chunk, at)) > 0) {
        all.append(chunk, static_cast<std::size_t>(n));
        at += n;
    }
    return all;
}

namespace {

// In the child: the descriptor a standard output stream goes to.
int output_for(int given, const std::string& path, int pipe_end)
{
    if (given >= 0) {
        return given;
    }
    if (!path.empty()) {
        return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    return pipe_end;
}

} // namespace

child_process::child_process(const std::vector<std::string>& argv, launch_options options)
{
    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        fail("pipe2");
    }
    if (options.nonblocking_stdout &&
        (fcntl(out_pipe[1], F_SETPIPE_SZ, 4096) < 0 || fcntl(out_pipe[1], F_SETFL, O_NONBLOCK) != 0)) {
        fail("non-blocking stdout pipe");
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) {
        fail("fork");
    }
    if (pid_ == 0) {
        setsid();
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (options.closed_stdio) {
            close(STDIN_FILENO);
            close(STDOUT_FILENO);
            close(STDERR_FILENO);
        } else {
            dup2(output_for(options.stdout_fd, options.stdout_path, out_pipe[1]), STDOUT_FILENO);
            dup2(output_for(options.stderr_fd, options.stderr_path, err_pipe[1]), STDERR_FILENO);
        }
        std::signal(SIGPIPE, options.ignore_sigpipe ? SIG_IGN : SIG_DFL);
        if (options.file_size_limit) {
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = *options.file_size_limit;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
}

child_process::~child_process()
{
    kill();
    close_stdout();
    if (err_fd_ >= 0) {
        close(err_fd_);
    }
}

void child_process::drain(int fd, std::string& into) const
{
    if (fd < 0) {
        return;
    }
    char chunk[4096];
    while (wait_readable(fd, std::chrono::milliseconds(0))) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) {
            return;
        }
        into.append(chunk, static_cast<std::size_t>(n));
    }
}

bool child_process::read_until(const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds timeout)
{
    const auto deadline = clock::now() + timeout;
    while (!done(out_)) {
        if (clock::now() >= deadline || !wait_readable(out_fd_, left_until(deadline))) {
            drain(err_fd_, err_);
            return done(out_);
        }
        char chunk[4096];
        const ssize_t n = read(out_fd_, chunk, sizeof chunk);
        if (n <= 0) {
            drain(err_fd_, err_);
            return done(out_);
        }
        out_.append(chunk, static_cast<std::size_t>(n));
    }
    drain(err_fd_, err_);
    return true;
}

void child_process::close_stdout()
{
    if (out_fd_ >= 0) {
        close(out_fd_);
        out_fd_ = -1;
    }
}

std::optional<int> child_process::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            drain(out_fd_, out_);
            drain(err_fd_, err_);
            return status;
        }
        if (clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void child_process::signal(int number) const
{
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, number);
    }
}

void child_process::kill()
{
    if (pid_ > 0 && !reaped_) {
        ::kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reaped_ = true;
        drain(out_fd_, out_);
        drain(err_fd_, err_);
    }
}

double child_process::cpu_seconds() const
{
    const std::string text = file_text("/proc/" + std::to_string(pid_) + "/stat");
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) {
            user = std::stoull(field);
        } else if (index == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

finished_run run_to_end(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    const auto deadline = clock::now() + timeout;
    child_process child(argv);
    // Reads until the program closes its output (never "done" before that).
    child.read_until([](const std::string&) { return false; }, timeout);
    const std::optional<int> status = child.wait(left_until(deadline));
    finished_run run{std::nullopt, child.out(), child.err()};
    if (status && WIFEXITED(*status)) {
        run.exit_code = WEXITSTATUS(*status);
    }
    return run;
}

bool exited_with(const std::optional<int>& status, int code)
{
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

scratch_dir::scratch_dir(const std::string& name)
    : path_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid())))
{
    std::filesystem::create_directories(path_);
}

scratch_dir::~scratch_dir()
{
    std::filesystem::remove_all(path_);
}

// Central European time as Europe/Berlin has kept it since 1996, spelt as a
// POSIX rule so that no zone database is needed.
zone_guard::zone_guard()
{
    if (const char* before = std::getenv("TZ")) {
        saved_ = before;
    }
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
}

zone_guard::~zone_guard()
{
    if (saved_) {
        setenv("TZ", saved_->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

std::string file_text(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> log_rows(const std::string& log)
{
    std::vector<std::string> rows;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] != '#') {
            rows.push_back(line);
        }
    }
    return rows;
}

} // namespace harness
