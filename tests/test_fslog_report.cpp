// fslog-report: the figures of a small log with known values, and the live
// view of a log that is written, rotated and missing while it watches.
#include "harness.hpp"
#include "log_text.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using log_text::row;
using log_text::start_lines;
using log_text::text_of;
using nlohmann::json;

const std::string report_bin = FSLOG_REPORT_BIN;

// Run 1: five rows, two of them with a failed query, the DDS reading
// missing at 7 s so the delta at 13 s spans 12 s. Run 2: one row.
std::string known_log()
{
    std::string log = start_lines("Tue Dec  8 09:14:03 2026");
    for (const row& r : {row{0, {{800, 2000, 1500, 2200}}, {{100, 1000, 1000}}, -5},
                         row{1, {{802, 2002, 1502, 2202}}, {{100, 2000, 1000}}, -3},
                         row{7, {{804, 2004, 1504, 2204}}, std::nullopt, -1},
                         row{13, {{806, 2006, 1506, 2206}}, {{100, 5000, 3000}}, -2, true},
                         row{14, std::nullopt, {{100, 6000, 1000}}, 4, false, true}}) {
        log += text_of(r);
    }
    log += "\n" + start_lines("Tue Dec  8 10:00:00 2026");
    log += text_of(row{0.5, {{900, 2100, 1600, 2300}}, {{100, 9000, 9000}}, 7});
    return log;
}

void write_file(const std::string& path, const std::string& text, std::ios::openmode mode = std::ios::trunc)
{
    std::ofstream(path, std::ios::binary | mode) << text;
}

TEST(FslogReport, FiguresOfASmallLogWithKnownValues)
{
    harness::scratch_dir dir("report-known");
    write_file(dir / "unit.log", known_log());
    const auto run = harness::run_to_end({report_bin, "--json", dir / "unit.log"}, 10s);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const json all = json::parse(run.out);

    EXPECT_EQ(all["rows"], 6);
    EXPECT_EQ(all["complete_rows"], 4);
    EXPECT_EQ(all["failures"], (json{{"adc", 1}, {"dds", 1}, {"tuning", 0}}));
    EXPECT_EQ(all["cs_bad"], (json{{"dds", 1}, {"tuning", 1}}));
    EXPECT_EQ(all["channels"]["rail"]["min"], 800);
    EXPECT_EQ(all["channels"]["rail"]["max"], 900);
    EXPECT_DOUBLE_EQ(all["channels"]["rail"]["mean"].get<double>(), 822.4);
    EXPECT_EQ(all["start"], "2026-12-08T09:14:03.000");
    EXPECT_EQ(all["end"], "2026-12-08T10:00:00.500");

    ASSERT_EQ(all["runs"].size(), 2U);
    const json& first = all["runs"][0];
    EXPECT_EQ(first["rows"], 5);
    EXPECT_EQ(first["complete_rows"], 3);
    // Complete rows at 0, 1 and 13 s: the longest stretch without one is
    // the 12 s after the row at 1 s.
    EXPECT_DOUBLE_EQ(first["longest_without_complete_row"]["seconds"].get<double>(), 12);
    EXPECT_EQ(first["longest_without_complete_row"]["began"], "2026-12-08T09:14:04.000");
    EXPECT_DOUBLE_EQ(first["channels"]["vcxo"]["mean"].get<double>(), 2203);
    EXPECT_NEAR(first["channels"]["vcxo"]["sd"].get<double>(), std::sqrt(5.0), 1e-9);
    // Rates 1000/1 s and 3000/12 s. The first reading has none, nor has
    // the one at 14 s: its row lost its ADC query, so its time is unknown.
    EXPECT_DOUBLE_EQ(first["dds2_rate"]["mean"].get<double>(), 625);
    EXPECT_DOUBLE_EQ(first["dds2_rate"]["sd"].get<double>(), 375);
    EXPECT_EQ(first["user_tuning"], (json{{"min", -5.0}, {"max", 4.0}}));
    // A run's first DDS reading never has a rate, whatever came before.
    EXPECT_EQ(all["runs"][1]["dds2_rate"]["mean"], nullptr);
    EXPECT_EQ(all["runs"][1]["user_tuning"]["max"], 7);

    // The same log compressed, as logrotate leaves it, reads the same.
    ASSERT_EQ(std::system(("gzip -k " + (dir / "unit.log")).c_str()), 0);
    const auto packed = harness::run_to_end({report_bin, "--json", dir / "unit.log.gz"}, 10s);
    EXPECT_EQ(packed.out, run.out);
}

TEST(FslogReport, TextReportShowsEachRunAndTheTotal)
{
    harness::scratch_dir dir("report-text");
    write_file(dir / "unit.log", known_log());
    const auto run = harness::run_to_end({report_bin, dir / "unit.log"}, 10s);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Run 1, started Tue Dec  8 09:14:03 2026\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("longest without a complete row: 12.0 s, from 2026-12-08 09:14:04"),
              std::string::npos);
    EXPECT_NE(run.out.find("All 2 runs\n"), std::string::npos);
    EXPECT_NE(run.out.find("  rows        6, 4 complete (66.67%)\n"), std::string::npos);

    write_file(dir / "empty.log", start_lines("Tue Dec  8 09:14:03 2026"));
    EXPECT_EQ(harness::run_to_end({report_bin, dir / "empty.log"}, 10s).exit_code, 1);
    EXPECT_EQ(harness::run_to_end({report_bin, dir / "missing.log"}, 10s).exit_code, 2);
}

// A start line holds what the serial line and the disk left there: bytes
// that are no UTF-8 become U+FFFD rather than ending the program.
TEST(FslogReport, JsonStaysValidWhateverBytesAStartLineHolds)
{
    harness::scratch_dir dir("report-bytes");
    write_file(dir / "unit.log", start_lines("Tue Dec\xff\xc3 8 09:14:03 2026") +
                                     text_of(row{0, {{800, 2000, 1500, 2200}}, {{100, 1000, 1000}}, -5}));
    const auto run = harness::run_to_end({report_bin, "--json", dir / "unit.log"}, 10s);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const json all = json::parse(run.out);
    EXPECT_EQ(all["runs"][0]["started"], "Tue Dec\xef\xbf\xbd\xef\xbf\xbd 8 09:14:03 2026");
    EXPECT_EQ(all["rows"], 1);
}

TEST(FslogReport, CountsFailedStartsInEachGapBetweenRuns)
{
    // Two starts failed before the first run, three between the runs, one after.
    const std::string failed = "\nCouldn't open port /dev/ttyUSB0\n";
    const std::string first_row = text_of(row{0, {{800, 2000, 1500, 2200}}, {{100, 1000, 1000}}, -5});
    harness::scratch_dir dir("report-failed-starts");
    write_file(dir / "unit.log", failed + failed + start_lines("Tue Dec  8 09:14:03 2026") + first_row +
                                     failed + failed + failed + start_lines("Tue Dec  8 10:00:00 2026") +
                                     first_row + failed);
    const auto run = harness::run_to_end({report_bin, "--json", dir / "unit.log"}, 10s);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const json all = json::parse(run.out);
    EXPECT_EQ(all["failed_starts"], 6);
    EXPECT_EQ(all["runs"][0]["failed_starts_before"], 2);
    EXPECT_EQ(all["runs"][1]["failed_starts_before"], 3);
    EXPECT_EQ(all["failed_starts_after_last_run"], 1);

    const auto text = harness::run_to_end({report_bin, dir / "unit.log"}, 10s);
    EXPECT_NE(text.out.find("Run 2, started Tue Dec  8 10:00:00 2026\n  failed starts before it: 3\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("Failed starts after the last run: 1\n"), std::string::npos);
}

// fslog-report --follow with a pseudo-terminal as its standard output, as
// on a user's screen.
class followed_on_terminal {
public:
    explicit followed_on_terminal(const std::string& log)
        : screen_(open(line_.slave_path().c_str(), O_RDWR | O_CLOEXEC)),
          report_({report_bin, "--follow", log}, {.stdout_fd = screen_})
    {
    }
    ~followed_on_terminal() { close(screen_); }
    followed_on_terminal(const followed_on_terminal&) = delete;
    followed_on_terminal& operator=(const followed_on_terminal&) = delete;

    // Reads the screen until `text` has appeared after what was seen so far.
    bool shows(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        const std::size_t from = seen_.size();
        while (seen_.find(text, from) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            const unit::bytes got = line_.receive(200ms);
            seen_.append(got.begin(), got.end());
        }
        return seen_.find(text, from) != std::string::npos;
    }
    std::optional<int> interrupt()
    {
        report_.signal(SIGINT);
        const std::optional<int> status = report_.wait(10s);
        shows("\x1b[?1049l"); // takes in the rest of its output
        return status;
    }
    const std::string& seen() const { return seen_; }

private:
    harness::pty_pair line_;
    int screen_;
    harness::child_process report_;
    std::string seen_;
};

TEST(FslogReportFollow, RedrawsThroughRotationAndGivesTheTerminalBack)
{
    harness::scratch_dir dir("report-follow");
    const std::string log = dir / "unit.log";
    followed_on_terminal view(log);
    EXPECT_TRUE(view.shows("waiting for " + log + " to appear"));

    const row good{0.5, {{812, 2047, 1530, 2214}}, {{1932735283, 5000, 5000}}, -1190};
    write_file(log, start_lines("Tue Dec  8 09:14:03 2020") + text_of(good));
    EXPECT_TRUE(view.shows("1 rows"));
    EXPECT_TRUE(view.shows("vcxo             2214"));

    // copytruncate: the rows go on in the emptied file, in the same run.
    std::filesystem::copy_file(log, dir / "unit.log.1");
    std::filesystem::resize_file(log, 0);
    write_file(log, text_of(row{1.5, std::nullopt, std::nullopt, -1189}), std::ios::app);
    EXPECT_TRUE(view.shows("2 rows"));
    EXPECT_TRUE(view.shows("  in all               1      1      0"));

    // Rotation by rename, and a new run in the new file.
    std::filesystem::rename(log, dir / "unit.log.2");
    write_file(log, start_lines("Tue Dec  8 10:00:00 2026") +
                        text_of(row{0.5, {{812, 2047, 1530, 2217}}, std::nullopt, 1}));
    EXPECT_TRUE(view.shows("run 2 started Tue Dec  8 10:00:00 2026"));
    EXPECT_TRUE(view.shows("vcxo             2217"));
    // The run's last complete row was years ago, so it says so loudly.
    EXPECT_TRUE(view.shows("NO COMPLETE ROW FOR"));

    const std::optional<int> status = view.interrupt();
    EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGINT);
    EXPECT_TRUE(view.seen().starts_with("\x1b[?1049h\x1b[?25l"));
    EXPECT_TRUE(view.seen().ends_with("\x1b[?25h\x1b[?1049l")) << view.seen();
}

TEST(FslogReportFollow, PrintsOneLineEveryTenSecondsWhenNotOnATerminal)
{
    harness::scratch_dir dir("report-lines");
    const std::string log = dir / "unit.log";
    harness::child_process follower({report_bin, "--follow", log});
    write_file(log, start_lines("Tue Dec  8 09:14:03 2026") +
                        text_of(row{0.5, {{812, 2047, 1530, 2214}}, {{1932735283, 5000, 5000}}, -1190}));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(
        follower.read_until([](const std::string& out) { return out.find('\n') != std::string::npos; }, 15s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 9s);
    EXPECT_NE(follower.out().find(log + ": 1 rows,"), std::string::npos) << follower.out();
    EXPECT_NE(follower.out().find("vcxo 2214; "), std::string::npos);
    EXPECT_EQ(follower.out().find('\x1b'), std::string::npos);
}

} // namespace
