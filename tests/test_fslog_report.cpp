// fslog-report: the figures of a small log with known values, and the live
// view of a log that is written, rotated and missing while it watches.
#include "harness.hpp"
#include "log_text.hpp"
#include "logread/line_reader.hpp"
#include "report/live_view.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
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

// The report writes times with their offset or zone: in the zone the logs
// were written in.
class FslogReport : public ::testing::Test {
    harness::zone_guard zone_;
};

TEST_F(FslogReport, FiguresOfASmallLogWithKnownValues)
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
    EXPECT_EQ(all["start"], "2026-12-08T09:14:03.000+01:00");
    EXPECT_EQ(all["end"], "2026-12-08T10:00:00.500+01:00");

    ASSERT_EQ(all["runs"].size(), 2U);
    const json& first = all["runs"][0];
    EXPECT_EQ(first["rows"], 5);
    EXPECT_EQ(first["complete_rows"], 3);
    // Complete rows at 0, 1 and 13 s: the longest stretch without one is
    // the 12 s after the row at 1 s.
    EXPECT_DOUBLE_EQ(first["longest_without_complete_row"]["seconds"].get<double>(), 12);
    EXPECT_EQ(first["longest_without_complete_row"]["began"], "2026-12-08T09:14:04.000+01:00");
    EXPECT_DOUBLE_EQ(first["channels"]["vcxo"]["mean"].get<double>(), 2203);
    EXPECT_NEAR(first["channels"]["vcxo"]["sd"].get<double>(), std::sqrt(5.0), 1e-9);
    // 1000 counts in 1 s, 3000 in 12 s: the rate is all the counts over all
    // the time, not the mean of 1000 and 250; the least-delayed readings
    // (of seconds 0 and 1: the run's last second never closes) span no 10 s
    // window. The reading at 14 s has no time (its row lost its ADC query).
    EXPECT_DOUBLE_EQ(first["dds2_rate"]["mean"].get<double>(), 4000.0 / 13);
    EXPECT_EQ(first["dds2_rate"]["sd"], nullptr);
    EXPECT_EQ(first["dds2_rate"]["jumps"], 0);
    EXPECT_EQ(first["user_tuning"], (json{{"min", -5.0}, {"max", 4.0}}));
    // A run's first DDS reading never has a rate, whatever came before.
    EXPECT_EQ(all["runs"][1]["dds2_rate"]["mean"], nullptr);
    EXPECT_EQ(all["runs"][1]["user_tuning"]["max"], 7);

    // The same log compressed, as logrotate leaves it, reads the same.
    ASSERT_EQ(std::system(("gzip -k " + (dir / "unit.log")).c_str()), 0);
    const auto packed = harness::run_to_end({report_bin, "--json", dir / "unit.log.gz"}, 10s);
    EXPECT_EQ(packed.out, run.out);
}

TEST_F(FslogReport, TextReportShowsEachRunAndTheTotal)
{
    harness::scratch_dir dir("report-text");
    write_file(dir / "unit.log", known_log());
    const auto run = harness::run_to_end({report_bin, dir / "unit.log"}, 10s);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Run 1, started 2026-12-08 09:14:03 CET\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("longest without a complete row: 12.0 s, from 2026-12-08 09:14:04 CET"),
              std::string::npos);
    EXPECT_NE(run.out.find("All 2 runs\n"), std::string::npos);
    EXPECT_NE(run.out.find("  rows        6, 4 complete (66.67%)\n"), std::string::npos);

    write_file(dir / "empty.log", start_lines("Tue Dec  8 09:14:03 2026"));
    EXPECT_EQ(harness::run_to_end({report_bin, dir / "empty.log"}, 10s).exit_code, 1);
    // A misspelt name is found before any run is written.
    const auto misspelt = harness::run_to_end({report_bin, dir / "unit.log", dir / "missing.log"}, 10s);
    EXPECT_EQ(misspelt.exit_code, 2);
    EXPECT_EQ(misspelt.out, "");

    // A report that can't be written is no report.
    const auto lost =
        harness::run_to_end({"/bin/sh", "-c", report_bin + " " + (dir / "unit.log") + " >/dev/full"}, 10s);
    EXPECT_EQ(lost.exit_code, 2);
    EXPECT_EQ(lost.err, "fslog-report: can't write the report: No space left on device\n");

    // A file rotated in the middle of a run begins with rows: a run of their own.
    write_file(dir / "rotated.log", text_of(row{5, {{800, 2000, 1500, 2200}}}) + "\n" + known_log());
    const json rotated =
        json::parse(harness::run_to_end({report_bin, "--json", dir / "rotated.log"}, 10s).out);
    EXPECT_EQ(rotated["rows"], 7);
    ASSERT_EQ(rotated["runs"].size(), 3U);
    EXPECT_EQ(rotated["runs"][0]["rows"], 1);
}

TEST_F(FslogReport, TimesAcrossTheAutumnChangeCarryTheirZoneAndOverlappingFilesAreRefused)
{
    harness::scratch_dir dir("report-autumn");
    // From 01:00 CEST, two hours on: 03:00 CEST is 02:00 CET.
    write_file(dir / "unit.log", start_lines("Sun Oct 25 01:00:00 2026") +
                                     text_of(row{7100, {{812, 2047, 1530, 2214}}}) +
                                     text_of(row{7200, {{812, 2047, 1530, 2214}}}));
    const auto text = harness::run_to_end({report_bin, dir / "unit.log"}, 10s);
    EXPECT_NE(
        text.out.find("  time        2026-10-25 02:58:20 CEST to 2026-10-25 02:00:00 CET (1 min 40 s)\n"),
        std::string::npos)
        << text.out;
    const auto utc = harness::run_to_end({report_bin, "--json", "--utc", dir / "unit.log"}, 10s);
    EXPECT_EQ(json::parse(utc.out)["end"], "2026-10-25T01:00:00.000Z");

    // The same unit's log given before itself.
    const auto twice = harness::run_to_end({report_bin, dir / "unit.log", dir / "unit.log"}, 10s);
    EXPECT_EQ(twice.exit_code, 2);
    EXPECT_NE(twice.err.find("overlap"), std::string::npos) << twice.err;
    // The run before the second file's start line was written as it ended;
    // the figures of all runs never are.
    EXPECT_EQ(twice.out.find("All "), std::string::npos) << twice.out;
}

TEST_F(FslogReport, CoverageTellsTheTimeLostToAFailedQueryAndToAStop)
{
    // Run 1: a complete row every half second for 20 s, but for a failed DDS
    // query at 10.5 s whose reset leaves no complete row until 16.5 s. Run 2
    // starts a minute after run 1's last row, and runs 10 s, with a failed
    // query at 5 s and no complete row until 8 s.
    harness::scratch_dir dir("report-coverage");
    // A row every half second for `seconds`, complete but for the one at
    // `failed` and those after it until `back`.
    const auto run = [](int seconds, double failed, double back) {
        std::string text;
        for (int half = 0; half <= 2 * seconds; ++half) {
            const double elapsed = half / 2.0;
            if (elapsed == failed) {
                text += text_of(row{elapsed, {{812, 2047, 1530, 2214}}, std::nullopt, -1190});
            } else if (elapsed < failed || elapsed >= back) {
                text += text_of(row{elapsed, {{812, 2047, 1530, 2214}}, {{1, 5000, 5000}}, -1190});
            }
        }
        return text;
    };
    const std::string log = start_lines("Tue Dec  8 09:14:03 2026") + run(20, 10.5, 16.5) + "\n" +
                            start_lines("Tue Dec  8 09:15:23 2026") + run(10, 5, 8);
    write_file(dir / "unit.log", log);
    const json all = json::parse(harness::run_to_end({report_bin, "--json", dir / "unit.log"}, 10s).out);
    // Covered: up to a second after each complete row, within the span.
    EXPECT_EQ(all["runs"][0]["time"],
              (json{{"span_s", 20.0}, {"between_runs_s", 0.0}, {"covered_s", 14.5}, {"paused_s", 0.0}}));
    EXPECT_EQ(all["runs"][1]["time"],
              (json{{"span_s", 10.0}, {"between_runs_s", 60.0}, {"covered_s", 7.5}, {"paused_s", 0.0}}));
    EXPECT_EQ(all["time"],
              (json{{"span_s", 90.0}, {"between_runs_s", 60.0}, {"covered_s", 22.0}, {"paused_s", 0.0}}));

    const std::string text = harness::run_to_end({report_bin, dir / "unit.log"}, 10s).out;
    EXPECT_NE(
        text.find(
            "  rows        46, 44 complete (95.65%)\n"
            "  covered     24.44% of the time, 22.0 s of 1 min 30 s, by a complete row at most 1 s old\n"
            "  lost        8.0 s to failed queries, 1 min 00 s between runs\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("  lost        2.5 s to failed queries; stopped 1 min 00 s before this run\n"),
              std::string::npos);
}

TEST_F(FslogReport, APausedLoggerIsAPauseNotAFailedQueryNorAJump)
{
    // A complete row a second, the logger stopped for 10 s after the 10th;
    // the counter counted on.
    harness::scratch_dir dir("report-pause");
    std::string log = start_lines("Tue Dec  8 09:14:03 2026");
    for (int second = 0; second <= 30; second = second == 10 ? 20 : second + 1) {
        log += text_of(row{static_cast<double>(second),
                           {{812, 2047, 1530, 2214}},
                           {{1, second * 100000L, second == 0 ? 0L : (second == 20 ? 1000000L : 100000L)}},
                           -1190});
    }
    write_file(dir / "unit.log", log);
    const json all = json::parse(harness::run_to_end({report_bin, "--json", dir / "unit.log"}, 10s).out);
    EXPECT_EQ(all["runs"][0]["time"]["paused_s"], 10.0);
    EXPECT_EQ(all["runs"][0]["dds2_rate"]["jumps"], 0);
    const std::string text = harness::run_to_end({report_bin, dir / "unit.log"}, 10s).out;
    EXPECT_NE(text.find("  lost        0.0 s to failed queries, 10.0 s to pauses\n"), std::string::npos)
        << text;
}

TEST_F(FslogReport, LiveViewFitsEightyColumnsAndTellsASilentUnitByItsRows)
{
    // Complete rows for 20 s, with DDS 2 at 100000 a second; then the unit
    // falls silent and fslog's rows hold only their elapsed time, until 40 s.
    std::string log = start_lines("Tue Dec  8 09:14:03 2026");
    for (int step = 0; step <= 800; ++step) {
        const double elapsed = 0.05 * step;
        log +=
            elapsed <= 20
                ? text_of(row{elapsed, {{812, 2047, 1530, 2214}}, {{1932735283, 5000L * step, 5000}}, -1190})
                : text_of(row{elapsed});
    }
    report::live_state state("/var/log/fslog/ttyUSB0.log");
    logread::line_reader reader(state);
    reader.feed(log);
    reader.finish();
    constexpr double start = 1796717643; // 09:14:03 CET
    const auto screen = report::live_view(state, logread::time_zone::local).screen(start + 55);
    std::string shown;
    for (const std::string& line : screen) {
        if (line.find('\x1b') == std::string::npos) {
            EXPECT_LE(line.size(), 80u) << line;
        }
        shown += line + "\n";
    }
    // The readings are 35 s old: each is marked.
    EXPECT_NE(shown.find("\nvcxo             2214*"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\ndds2 rate    100000.0*"), std::string::npos);
    EXPECT_NE(shown.find("(* older than 30 s)"), std::string::npos);
    EXPECT_NE(shown.find("last row 15.0 s ago, \x1b"), std::string::npos);
    EXPECT_NE(shown.find(" NO COMPLETE ROW FOR 35.0 s "), std::string::npos);
}

// A start line holds what the serial line and the disk left there: bytes
// that are no UTF-8 become U+FFFD rather than ending the program.
TEST_F(FslogReport, JsonStaysValidWhateverBytesAStartLineHolds)
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

// A log of a unit that keeps dropping off holds many thousands of runs: each
// run's block is out once the next run starts, not kept to the end, and
// the JSON written that way is laid out as one whole dump of it.
TEST_F(FslogReport, WritesEachRunWhenTheNextOneStarts)
{
    harness::scratch_dir dir("report-streams");
    const std::string fifo = dir / "unit.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string log = known_log();
    const std::size_t second_run = log.find('\n', log.find("# Logging started", 1)) + 1;
    std::string written;
    struct form {
        std::string option;
        std::string first_run_end; // the last figure of run 1's block
        std::string second_run;
    };
    for (const form& as :
         {form{"--utc", "user tuning", "Run 2"}, form{"--json", "\"user_tuning\"", "\"run\": 2"}}) {
        harness::child_process report({report_bin, as.option, fifo});
        {
            std::ofstream writer(fifo, std::ios::binary);
            writer << log.substr(0, second_run) << std::flush;
            EXPECT_TRUE(report.read_until(
                [&](const std::string& out) { return out.find(as.first_run_end) != std::string::npos; }, 10s))
                << as.option << ": " << report.out();
            EXPECT_EQ(report.out().find(as.second_run), std::string::npos) << report.out();
            writer << log.substr(second_run);
        }
        EXPECT_TRUE(harness::exited_with(report.wait(10s), 0)) << report.err();
        EXPECT_NE(report.out().find(as.second_run), std::string::npos) << report.out();
        written = report.out();
    }
    EXPECT_EQ(nlohmann::ordered_json::parse(written).dump(2) + "\n", written);
}

TEST_F(FslogReport, CountsFailedStartsInEachGapBetweenRuns)
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
    EXPECT_NE(text.out.find("Run 2, started 2026-12-08 10:00:00 CET\n  failed starts before it: 3\n"),
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
    EXPECT_TRUE(view.shows("run 2 started 2026-12-08 10:00:00 "));
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
    write_file(log, start_lines("Tue Dec  8 09:14:03 2020") +
                        text_of(row{0.5, {{812, 2047, 1530, 2214}}, {{1932735283, 5000, 5000}}, -1190}));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(
        follower.read_until([](const std::string& out) { return out.find('\n') != std::string::npos; }, 15s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 9s);
    EXPECT_NE(follower.out().find(log + ": 1 rows,"), std::string::npos) << follower.out();
    // A row of years ago: its values are marked stale, and the unit's
    // silence tells from fslog's by the age of the last row.
    EXPECT_NE(follower.out().find("vcxo 2214*; "), std::string::npos);
    EXPECT_NE(follower.out().find("; last row "), std::string::npos);
    EXPECT_NE(follower.out().find(" ago, last complete row "), std::string::npos);
    EXPECT_EQ(follower.out().find('\x1b'), std::string::npos);
}

} // namespace
