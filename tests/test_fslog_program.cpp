// The whole program as a subprocess, against a stand-in unit on a pty.
#include "harness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using harness::child_process;
using harness::exited_with;
using harness::pty_pair;
using harness::scratch_dir;
using harness::scripted_unit;

const std::string fslog = FSLOG_BIN;
const std::string header_line =
    "# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, delta dds2, user tuning";
const std::regex complete_row(R"(     [ \d]{4}\d\.\d{3}     (  [ \d]{3}\d  ){4}\d+ \d+ -?\d+ -?\d+ )");

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

// The row's fields after the elapsed time.
std::string fields_of(const std::string& row)
{
    return row.size() > 19 ? row.substr(19) : "";
}

// A unit whose readings advance by one step every cycle; cycle n starts
// with its n-th ADC command. `fault` may replace a reply for a given cycle.
class stepping_unit {
public:
    using fault_fn =
        std::function<std::optional<unit::bytes>(int cycle, std::uint8_t code, const unit::bytes& good)>;

    explicit stepping_unit(pty_pair& line, fault_fn fault = {})
        : fault_(std::move(fault)), unit_(line, [this](std::uint8_t code) { return respond(code); })
    {
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
        unit::bytes good = unit::answer(code, {{1, 22, 333, 4444}, 7, dds2_of(cycle_), -42});
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
    std::ifstream stat("/proc/" + std::to_string(logger.pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
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
}

} // namespace

namespace {

// Rows that hold only their elapsed time: every query of that cycle failed.
std::size_t timestamp_only_rows(const std::vector<std::string>& rows)
{
    return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [](const std::string& row) {
        return row.size() == 19 && row.find_first_not_of(" .0123456789") == std::string::npos;
    }));
}

TEST(Program, KeepsLoggingThroughAnUnpluggedAdapterAndResumesWhenItReturns)
{
    // Like /dev/serial/by-id/...: a stable name whose target changes when
    // the adapter comes back.
    const scratch_dir dir("fslog-replug");
    const std::string link = dir / "usb-unit-if00";

    auto line = std::make_unique<pty_pair>();
    std::filesystem::create_symlink(line->slave_path(), link);
    auto unit = std::make_unique<stepping_unit>(*line);
    child_process logger({fslog, link});
    ASSERT_TRUE(logger.read_until(has_rows(2), 10s)) << logger.out();

    unit.reset();
    line->unplug();
    std::filesystem::remove(link);
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

    line = std::make_unique<pty_pair>();
    std::filesystem::create_symlink(line->slave_path(), link);
    unit = std::make_unique<stepping_unit>(*line);
    const auto complete_rows_after = [&](const std::string& log) {
        const std::vector<std::string> rows = finished_rows(log);
        return std::count_if(rows.begin() + static_cast<std::ptrdiff_t>(rows_at_unplug), rows.end(),
                             [](const std::string& row) { return std::regex_match(row, complete_row); });
    };
    EXPECT_TRUE(logger.read_until([&](const std::string& log) { return complete_rows_after(log) >= 1; }, 10s))
        << logger.out();
    EXPECT_EQ(logger.err(), "");
}

} // namespace
