// The whole program as a subprocess, against a stand-in unit on a pty.
#include "harness.hpp"
#include "log_text.hpp"
#include "sim/unit_answers.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using harness::child_process;
using harness::exited_with;
using harness::file_text;
using harness::pty_pair;
using harness::scratch_dir;
using harness::scripted_unit;
using log_text::fields_of;
using log_text::header_line;

const std::string fslog = FSLOG_BIN;
const std::regex complete_row(log_text::complete_row_pattern);

// Rows that the next row has already ended (the last one may be partial).
std::vector<std::string> finished_rows(const std::string& log)
{
    std::vector<std::string> rows = harness::log_rows(log);
    if (!log.empty() && log.back() != '\n' && !rows.empty()) {
        rows.pop_back();
    }
    if (log.find(header_line) != std::string::npos && !rows.empty() &&
        log.substr(log.size() - rows.back().size()) == rows.back()) {
        rows.pop_back();
    }
    return rows;
}

auto has_rows(std::size_t count)
{
    return [count](const std::string& log) { return finished_rows(log).size() >= count; };
}

bool eventually(const std::function<bool()>& holds, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!holds()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// The descriptors of process `pid` open on `path`, each mapped to whether
// it is close-on-exec.
std::map<int, bool> descriptors_on(pid_t pid, const std::string& path)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    std::map<int, bool> found;
    for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd")) {
        std::error_code gone;
        if (std::filesystem::read_symlink(entry, gone) == path) {
            std::ifstream info(proc + "/fdinfo/" + entry.path().filename().string());
            std::string word;
            while (info >> word && word != "flags:") {
            }
            info >> word;
            found[std::stoi(entry.path().filename().string())] =
                (std::stoul(word, nullptr, 8) & O_CLOEXEC) != 0;
        }
    }
    return found;
}

std::ptrdiff_t descriptor_count(pid_t pid)
{
    const std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd");
    return std::distance(begin(fds), end(fds));
}

// A unit whose readings advance by one step every cycle; cycle n starts
// with its n-th ADC command. `fault` may replace a reply for a given cycle.
class stepping_unit {
public:
    using fault_fn =
        std::function<std::optional<unit::bytes>(int cycle, std::uint8_t code, const unit::bytes& good)>;

    explicit stepping_unit(pty_pair& line, fault_fn fault = {}, std::int32_t tuning = -42)
        : fault_(std::move(fault)), tuning_(tuning),
          unit_(line, [this](std::uint8_t code) { return respond(code); })
    {
    }

    // Cycles begun so far; when cycle n begins, row n - 1 has been flushed.
    int cycles()
    {
        std::lock_guard lock(mutex_);
        return cycle_;
    }

    static std::uint32_t dds2_of(int cycle)
    {
        return 0x80000000u + 100u * static_cast<std::uint32_t>(cycle - 1);
    }

private:
    unit::bytes respond(std::uint8_t code)
    {
        std::lock_guard lock(mutex_);
        if (code == 0x5A) {
            ++cycle_;
        }
        unit::bytes good = sim::answer(code, {{1, 22, 333, 4444}, 7, dds2_of(cycle_), tuning_});
        if (good.empty()) {
            return {};
        }
        if (fault_) {
            if (auto replaced = fault_(cycle_, code, good)) {
                return *replaced;
            }
        }
        return good;
    }

    std::mutex mutex_;
    int cycle_ = 0;
    fault_fn fault_;
    std::int32_t tuning_;
    scripted_unit unit_;
};

TEST(Program, UsageAndOpenFailuresGoToStdoutWithStatusOne)
{
    child_process no_argument({fslog});
    EXPECT_TRUE(exited_with(no_argument.wait(5s), 1));
    EXPECT_EQ(no_argument.out(), "\nUsage: " + fslog + " comport\n");
    EXPECT_EQ(no_argument.err(), "");

    const scratch_dir dir("fslog-test");
    const std::string stale = dir / "stale-link";
    std::filesystem::create_symlink(dir / "no-such-device", stale);
    for (const std::string& path : {std::string("/nonexistent/ttyUSB0"), std::string("/dev/null"), stale}) {
        child_process failed({fslog, path});
        EXPECT_TRUE(exited_with(failed.wait(5s), 1)) << path;
        EXPECT_EQ(failed.out(), "\nCouldn't open port " + path + "\n");
        EXPECT_EQ(failed.err(), "");
    }
}

TEST(Program, PrintsHeaderThenOneRowPerCycle)
{
    pty_pair line;
    stepping_unit unit(line);
    child_process logger({fslog, line.slave_path(), "ignored-extra-argument"});
    ASSERT_TRUE(logger.read_until(has_rows(4), 10s)) << logger.out();

    const std::string& log = logger.out();
    const std::regex start_line(R"(# Logging started at \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(log, match, start_line, std::regex_constants::match_continuous)) << log;
    EXPECT_EQ(log.substr(static_cast<std::size_t>(match.length()), header_line.size() + 1),
              header_line + "\n");

    const std::vector<std::string> rows = finished_rows(log);
    double previous = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(std::regex_match(rows[i], complete_row)) << "[" << rows[i] << "]";
        const double elapsed = std::stod(rows[i].substr(5, 9));
        EXPECT_GE(elapsed, previous);
        EXPECT_LT(elapsed, 5.0);
        previous = elapsed;
    }
    // The first delta is dds 2 itself read as signed, since nothing was shown before.
    EXPECT_EQ(fields_of(rows[0]), "     1      22     333    4444  7 2147483648 -2147483648 -42 ");
    EXPECT_EQ(fields_of(rows[1]), "     1      22     333    4444  7 2147483748 100 -42 ");
    EXPECT_EQ(logger.err(), "");

    // Opened with O_NOCTTY: the port did not become the controlling
    // terminal of the logger's new session (field 7 of stat, tty_nr).
    const std::string text = file_text("/proc/" + std::to_string(logger.pid()) + "/stat");
    std::istringstream after_name(text.substr(text.rfind(')') + 2));
    std::string state, ppid, pgrp, session, tty;
    after_name >> state >> ppid >> pgrp >> session >> tty;
    EXPECT_EQ(tty, "0");

    // A second logger on the same port is refused and leaves the first alone.
    child_process second({fslog, line.slave_path()});
    EXPECT_TRUE(exited_with(second.wait(5s), 1));
    EXPECT_EQ(second.out(), "\nCouldn't open port " + line.slave_path() + "\n");
    const std::size_t rows_before = finished_rows(logger.out()).size();
    ASSERT_TRUE(logger.read_until(has_rows(rows_before + 2), 5s));
    EXPECT_TRUE(std::regex_match(finished_rows(logger.out()).back(), complete_row));
}

TEST(Program, FailedQueriesLeaveTheirFieldsOutAndTheDeltaSpansTheGap)
{
    pty_pair line;
    stepping_unit unit(
        line, [](int cycle, std::uint8_t code, const unit::bytes& good) -> std::optional<unit::bytes> {
            if (cycle == 2 && code == 0x22) {
                return unit::bytes{}; // silence: timeout and reset
            }
            unit::bytes bad = good;
            unit::spoil_payload_check(bad);
            if (cycle == 3 && (code == 0x5A || code == 0x2D)) {
                return bad; // strict: reset; variable: noted
            }
            return std::nullopt;
        });
    child_process logger({fslog, line.slave_path()});
    ASSERT_TRUE(logger.read_until(has_rows(4), 25s)) << logger.out();
    const std::vector<std::string> rows = finished_rows(logger.out());
    EXPECT_EQ(fields_of(rows[0]), "     1      22     333    4444  7 2147483648 -2147483648 -42 ");
    EXPECT_EQ(fields_of(rows[1]), "     1      22     333    4444  -42 ");
    EXPECT_EQ(fields_of(rows[2]), "7 2147483848 200 (CS bad!) -42 ");
    EXPECT_EQ(fields_of(rows[3]), "     1      22     333    4444  7 2147483948 100 -42 ");
    EXPECT_EQ(logger.err(), "");
}

TEST(Program, ClosedStdoutEndsIt)
{
    pty_pair line;
    stepping_unit unit(line);
    {
        child_process logger({fslog, line.slave_path()});
        ASSERT_TRUE(logger.read_until(has_rows(2), 10s));
        logger.close_stdout();
        const auto status = logger.wait(5s);
        ASSERT_TRUE(status.has_value()) << "still running with nobody reading";
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGPIPE);
    }
    {
        // With SIGPIPE ignored by whoever started it, the write error ends it.
        child_process logger({fslog, line.slave_path()}, {.ignore_sigpipe = true});
        ASSERT_TRUE(logger.read_until(has_rows(2), 10s));
        logger.close_stdout();
        EXPECT_TRUE(exited_with(logger.wait(5s), 1));
        EXPECT_EQ(logger.err(), "");
    }
    {
        // So does a stdout that can never be written (EBADF: open for reading).
        const int read_only = open("/dev/null", O_RDONLY | O_CLOEXEC);
        child_process logger({fslog, line.slave_path()}, {.stdout_fd = read_only});
        close(read_only);
        EXPECT_TRUE(exited_with(logger.wait(10s), 1));
        EXPECT_EQ(logger.err(), "");
    }
}

TEST(Program, StartedWithDescriptorsZeroToTwoClosedItKeepsThePortOffThem)
{
    pty_pair line;
    stepping_unit unit(line);
    child_process logger({fslog, line.slave_path()}, {.closed_stdio = true});
    ASSERT_TRUE(eventually([&] { return unit.cycles() >= 3; }, 10s));
    const std::map<int, bool> on_null = descriptors_on(logger.pid(), "/dev/null");
    EXPECT_TRUE(on_null.contains(0) && on_null.contains(1) && on_null.contains(2));
    // Descriptors beyond 2 may come from whoever runs the test.
    const std::map<int, bool> port = descriptors_on(logger.pid(), line.slave_path());
    ASSERT_EQ(port.size(), 1u);
    EXPECT_GT(port.begin()->first, 2) << "the log goes to the unit";
    EXPECT_TRUE(port.begin()->second) << "the port is not close-on-exec";
}

// Each row's dds 2 reading: the stepping unit's advance by 100 a cycle, so
// a row lost on the way shows as a step of 200.
std::uint32_t dds2_in(const std::string& row)
{
    std::istringstream fields(row);
    std::string field;
    for (int i = 0; i < 7; ++i) {
        fields >> field;
    }
    return static_cast<std::uint32_t>(std::stoul(field));
}

TEST(Program, ANonBlockingReaderThatPausesLosesNoRow)
{
    pty_pair line;
    stepping_unit unit(line);
    child_process logger({fslog, line.slave_path()}, {.nonblocking_stdout = true});
    ASSERT_TRUE(logger.read_until(has_rows(2), 10s));
    const double cpu_before = logger.cpu_seconds();
    std::this_thread::sleep_for(3s); // the one-page pipe fills at once
    EXPECT_LT(logger.cpu_seconds() - cpu_before, 0.1) << "it must wait, not spin";
    ASSERT_TRUE(logger.read_until(has_rows(300), 10s))
        << "it ended or stalled: " << logger.wait(0ms).has_value();

    const std::vector<std::string> rows = finished_rows(logger.out());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_TRUE(std::regex_match(rows[i], complete_row)) << "[" << rows[i] << "]";
        ASSERT_TRUE(i == 0 || dds2_in(rows[i]) - dds2_in(rows[i - 1]) == 100)
            << "lost before [" << rows[i] << "]";
    }
}

TEST(Program, OutputErrorsLoseRowsButLoggingGoesOn)
{
    {
        // A line of its own: a reply to the killed logger's last command
        // must not reach the next logger as the answer to its first.
        pty_pair line;
        stepping_unit unit(line);
        const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
        child_process logger({fslog, line.slave_path()}, {.stdout_fd = full});
        close(full);
        const int start = unit.cycles();
        EXPECT_TRUE(eventually([&] { return unit.cycles() >= start + 50; }, 10s)) << "it stopped polling";
        EXPECT_FALSE(logger.wait(0ms).has_value()) << "it ended on ENOSPC";
        logger.kill();
        EXPECT_EQ(logger.err(), "");
    }
    // A file that can't grow past 2000 bytes for a while (EFBIG), then can.
    pty_pair line;
    stepping_unit unit(line);
    const scratch_dir dir("fslog-full");
    const std::string path = dir / "unit.log";
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    constexpr rlim_t limit = 2000;
    child_process logger({fslog, line.slave_path()}, {.stdout_fd = file, .file_size_limit = limit});
    close(file);
    const auto size = [&] { return std::filesystem::file_size(path); };
    ASSERT_TRUE(eventually([&] { return size() == limit; }, 10s));
    const int at_limit = unit.cycles();
    ASSERT_TRUE(eventually([&] { return unit.cycles() >= at_limit + 20; }, 10s)) << "it stopped polling";
    rlimit raised{};
    prlimit(logger.pid(), RLIMIT_FSIZE, nullptr, &raised);
    raised.rlim_cur = raised.rlim_max;
    ASSERT_EQ(prlimit(logger.pid(), RLIMIT_FSIZE, &raised, nullptr), 0);
    EXPECT_TRUE(eventually([&] { return size() > 2 * limit; }, 10s)) << "it did not resume";
    logger.kill();
    EXPECT_EQ(logger.err(), "");

    // Only the row written across the limit is cut, and the next row written
    // starts a line of its own.
    const std::string log = file_text(path);
    EXPECT_EQ(log[limit], '\n');
    std::vector<std::string> rows = finished_rows(log.substr(0, limit));
    const std::vector<std::string> rows_after = finished_rows(log.substr(limit));
    EXPECT_GT(rows_after.size(), 10u);
    rows.insert(rows.end(), rows_after.begin(), rows_after.end());
    for (const std::string& row : rows) {
        EXPECT_TRUE(std::regex_match(row, complete_row)) << "[" << row << "]";
    }
}

TEST(Program, ARunAppendedToALogStartsOnALineOfItsOwn)
{
    pty_pair line;
    stepping_unit unit(line);
    const scratch_dir dir("fslog-append");
    const std::string path = dir / "unit.log";
    std::ofstream(path) << "# an earlier note\n";
    for (int run = 0; run < 2; ++run) {
        const int file = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        child_process logger({fslog, line.slave_path()}, {.stdout_fd = file});
        close(file);
        const int start = unit.cycles();
        ASSERT_TRUE(eventually([&] { return unit.cycles() >= start + 4; }, 10s));
        logger.kill();
    }
    // No blank line where a log ended in a newline, nothing glued where it didn't.
    std::istringstream lines(file_text(path));
    int starts = 0;
    for (std::string text; std::getline(lines, text);) {
        if (text.starts_with("# Logging started at ")) {
            ++starts;
        } else {
            EXPECT_TRUE(text == "# an earlier note" || text == header_line ||
                        std::regex_match(text, complete_row))
                << "[" << text << "]";
        }
    }
    EXPECT_EQ(starts, 2);
}

} // namespace

namespace {

// A finished, complete row whose tuning word is `tuning`.
auto has_row_from(std::int32_t tuning)
{
    const std::string ending = " " + std::to_string(tuning) + " ";
    return [ending](const std::string& log) {
        const std::vector<std::string> rows = finished_rows(log);
        return std::any_of(rows.begin(), rows.end(), [&](const std::string& row) {
            return std::regex_match(row, complete_row) && row.ends_with(ending);
        });
    };
}

// Rows that hold only their elapsed time: every query of that cycle failed.
std::size_t timestamp_only_rows(const std::vector<std::string>& rows)
{
    return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [](const std::string& row) {
        return row.size() == 19 && row.find_first_not_of(" .0123456789") == std::string::npos;
    }));
}

// A USB adapter under a stable name, like /dev/serial/by-id/...: the link's
// target changes each time the adapter is plugged in again.
class replugged_adapter {
public:
    explicit replugged_adapter(const std::string& name) : dir_(name), link_(dir_ / "usb-unit-if00")
    {
        plug(-42);
    }

    const std::string& link() const { return link_; }
    const pty_pair& line() const { return *line_; }

    void unplug()
    {
        unit_.reset();
        line_.reset();
        std::filesystem::remove(link_);
    }

    // A new device whose unit answers with `tuning`.
    void plug(std::int32_t tuning)
    {
        unplug();
        line_ = std::make_unique<pty_pair>();
        std::filesystem::create_symlink(line_->slave_path(), link_);
        unit_ = std::make_unique<stepping_unit>(*line_, nullptr, tuning);
    }

private:
    scratch_dir dir_;
    std::string link_;
    std::unique_ptr<pty_pair> line_;
    std::unique_ptr<stepping_unit> unit_;
};

TEST(Program, KeepsLoggingThroughAnUnpluggedAdapterAndResumesWhenItReturns)
{
    replugged_adapter adapter("fslog-replug");
    child_process logger({fslog, adapter.link()});
    ASSERT_TRUE(logger.read_until(has_rows(2), 10s)) << logger.out();

    adapter.unplug();
    const std::size_t rows_at_unplug = finished_rows(logger.out()).size();
    const double cpu_at_unplug = logger.cpu_seconds();
    // Every query now fails at once and each reset pauses 4 s, so a row of
    // timestamps only is flushed about every 12 s.
    const auto timestamps_only_since_unplug = [&](const std::string& log) {
        const std::vector<std::string> rows = harness::log_rows(log);
        return rows.size() > rows_at_unplug &&
               timestamp_only_rows(
                   {rows.begin() + static_cast<std::ptrdiff_t>(rows_at_unplug), rows.end()}) >= 1;
    };
    EXPECT_TRUE(logger.read_until(timestamps_only_since_unplug, 25s)) << logger.out();
    EXPECT_LT(logger.cpu_seconds() - cpu_at_unplug, 0.1) << "a dead line must not make it spin";
    EXPECT_FALSE(logger.wait(0ms).has_value()) << "it must not end on its own";

    // The new device's tuning word is one the old never sent: only a
    // reopened port can show it.
    adapter.plug(-77);
    EXPECT_TRUE(logger.read_until(has_row_from(-77), 10s)) << logger.out();
    EXPECT_EQ(logger.err(), "");
}

TEST(Program, ReopensAtEveryReplugAndLeaksNoDescriptor)
{
    replugged_adapter adapter("fslog-replugs");
    child_process logger({fslog, adapter.link()});
    ASSERT_TRUE(logger.read_until(has_rows(2), 10s)) << logger.out();
    const std::ptrdiff_t open_at_start = descriptor_count(logger.pid());

    for (const std::int32_t tuning : {1001, 1002, 1003}) {
        adapter.plug(tuning);
        ASSERT_TRUE(logger.read_until(has_row_from(tuning), 15s)) << "not reopened for " << tuning;
    }
    EXPECT_EQ(descriptor_count(logger.pid()), open_at_start);
    const std::map<int, bool> port = descriptors_on(logger.pid(), adapter.line().slave_path());
    ASSERT_EQ(port.size(), 1u);
    EXPECT_TRUE(port.begin()->second) << "reopened without O_CLOEXEC";
}

} // namespace

namespace {

// The first line of a log file.
std::string first_line(const std::string& path)
{
    const std::string text = file_text(path);
    return text.substr(0, text.find('\n'));
}

TEST(Program, OnSigusr1ItGoesOnInTheFileAtItsLogsPathOnceThatCanBeOpened)
{
    pty_pair line;
    stepping_unit unit(line);
    const scratch_dir dir("fslog-reopen");
    const std::string path = dir / "unit.log";
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    child_process logger({fslog, line.slave_path()}, {.stdout_fd = file});
    close(file);
    const auto rows_in = [](const std::string& log_path) {
        return [log_path] { return finished_rows(file_text(log_path)).size() >= 3; };
    };
    ASSERT_TRUE(eventually(rows_in(path), 10s));

    // Rotated away: the new file takes the run on, saying which run it is.
    std::filesystem::rename(path, dir / "unit.log.1");
    kill(logger.pid(), SIGUSR1);
    ASSERT_TRUE(eventually(rows_in(path), 10s));
    const std::string start = first_line(dir / "unit.log.1");
    ASSERT_TRUE(start.starts_with("# Logging started at ")) << start;
    EXPECT_EQ(first_line(path), "# Continued: logging started at " + start.substr(21));

    // Where nothing can be opened (a folder in its way) it keeps the file it
    // has, and tries again at the next signal.
    std::filesystem::rename(path, dir / "unit.log.2");
    std::filesystem::create_directory(path);
    kill(logger.pid(), SIGUSR1);
    const std::size_t kept = finished_rows(file_text(dir / "unit.log.2")).size();
    ASSERT_TRUE(
        eventually([&] { return finished_rows(file_text(dir / "unit.log.2")).size() > kept + 3; }, 10s));
    std::filesystem::remove(path);
    kill(logger.pid(), SIGUSR1);
    ASSERT_TRUE(eventually(rows_in(path), 10s));
    logger.kill();

    // One run, no row lost or cut across the three files: a file is left
    // at the end of a row.
    std::vector<std::string> rows = harness::log_rows(file_text(dir / "unit.log.1"));
    for (const std::vector<std::string>& more :
         {harness::log_rows(file_text(dir / "unit.log.2")), finished_rows(file_text(path))}) {
        rows.insert(rows.end(), more.begin(), more.end());
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_TRUE(std::regex_match(rows[i], complete_row)) << "[" << rows[i] << "]";
        ASSERT_TRUE(i == 0 || dds2_in(rows[i]) - dds2_in(rows[i - 1]) == 100)
            << "lost before [" << rows[i] << "]";
    }
    // Each signal reopens once: one continuation line, the file's first.
    for (const std::string& reopened : {dir / "unit.log.2", path}) {
        EXPECT_EQ(file_text(reopened).find("# Continued", 1), std::string::npos) << file_text(reopened);
    }
    EXPECT_EQ(logger.err(), "");
}

TEST(Program, Sigusr1ChangesNothingWhenTheLogIsNoFile)
{
    pty_pair line;
    stepping_unit unit(line);
    child_process logger({fslog, line.slave_path()});
    ASSERT_TRUE(logger.read_until(has_rows(2), 10s));
    for (int i = 0; i < 5; ++i) {
        kill(logger.pid(), SIGUSR1);
        const std::size_t rows = finished_rows(logger.out()).size();
        ASSERT_TRUE(logger.read_until(has_rows(rows + 2), 5s)) << "it ended on the signal";
    }
    EXPECT_EQ(logger.out().find("# Continued"), std::string::npos);
}

} // namespace
