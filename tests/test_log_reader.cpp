// The log library: runs, absolute times, appended restarts, rotated files,
// the DDS 2 rate and gzip input.
#include "harness.hpp"
#include "log_text.hpp"
#include "logread/coverage.hpp"
#include "logread/dds_rate.hpp"
#include "logread/line_reader.hpp"
#include "logread/local_time.hpp"
#include "logread/log_files.hpp"
#include "logread/log_input.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Start lines are read as local time: the zone the logs were written in,
// whatever this machine's.
class LocalTime : public ::testing::Test {
    harness::zone_guard zone_;
};

// 2026-12-08 09:14:03 CET.
constexpr double december_start = 1796717643.0;

struct seen_row {
    std::size_t line = 0;
    std::size_t run = 0;
    std::string elapsed;
    std::optional<double> time;
    std::optional<logread::rate_span> rate;
};

struct recorder : logread::log_events {
    void on_run_start(const logread::run_start& start) override
    {
        starts.emplace_back(start.start_time);
        start_lines.push_back(start.line_number);
        start_notes.push_back(describe("log", start));
    }
    void on_row(const logread::row_event& row) override
    {
        rows.push_back(
            {row.line_number, row.run, std::string(row.text.elapsed), row.time, rate.take(row).span});
    }
    void on_skipped(const logread::skipped_line& line) override { skipped.push_back(describe("log", line)); }
    void on_failed_start(const logread::failed_start& start) override
    {
        failed_starts.emplace_back(start.line_number, start.why);
    }

    std::vector<std::optional<std::time_t>> starts;
    std::vector<std::pair<std::size_t, logread::start_failure>> failed_starts;
    std::vector<std::size_t> start_lines;
    std::vector<std::string> start_notes;
    std::vector<seen_row> rows;
    std::vector<std::string> skipped;
    logread::dds_rate rate;
};

recorder read_files(const std::vector<std::string>& files)
{
    recorder seen;
    logread::line_reader reader(seen);
    for (const std::string& text : files) {
        reader.feed(text);
        reader.finish();
    }
    return seen;
}

const std::string start_line = log_text::start_line("Tue Dec  8 09:14:03 2026");
const std::string& header = log_text::header_line;

TEST_F(LocalTime, AppendedRestartsOldAndNewStyleStartRunsWithTheirOwnTimes)
{
    const std::string log = start_line + header + "\n         0.013     1 2 -1717986919 -1190 " +
                            // fslog that appends now ends the last row first; an older one glued
                            // the start line to it.
                            "\n         1.000     1 7 5 -1189 \n" +
                            log_text::start_lines("Tue Dec  8 10:00:00 2026") +
                            "\n         2.500     1 9 9 -1188 " +
                            log_text::start_lines("Sun Jul  5 12:00:00 2026") + "\n         0.250     -1187 ";
    const recorder seen = read_files({log});
    EXPECT_EQ(seen.skipped, std::vector<std::string>{});
    ASSERT_EQ(seen.starts.size(), 3u);
    EXPECT_EQ(seen.starts[1], 1796720400);
    EXPECT_EQ(seen.starts[2], 1783245600); // summer time: 10:00 UTC
    EXPECT_EQ(seen.start_lines, (std::vector<std::size_t>{1, 5, 7}));
    ASSERT_EQ(seen.rows.size(), 4u);
    EXPECT_EQ(seen.rows[1].elapsed, "1.000");
    EXPECT_EQ(seen.rows[1].time, december_start + 1.0);
    EXPECT_EQ(seen.rows[2].line, 7u);
    EXPECT_EQ(seen.rows[2].run, 2u);
    EXPECT_EQ(seen.rows[2].time, 1796720400.0 + 2.5);
    EXPECT_EQ(seen.rows[3].run, 3u);
    EXPECT_EQ(seen.rows[3].time, 1783245600.0 + 0.25);
}

TEST_F(LocalTime, RotatedFileReadsWithoutAbsoluteTimeUntilAStartLine)
{
    // Rotated in mid-run: the file begins with the line end of a row the
    // previous file holds, and has no start line; a bad start time counts
    // as a run with no known time.
    const std::string log = "\n     86400.000     5 \n" + log_text::start_lines("sometime") +
                            "\n         1.000     6 \n" + start_line + "         2.000     7 ";
    const recorder seen = read_files({log});
    EXPECT_EQ(seen.skipped, std::vector<std::string>{});
    ASSERT_EQ(seen.rows.size(), 3u);
    EXPECT_EQ(seen.rows[0].run, 0u);
    EXPECT_EQ(seen.rows[0].time, std::nullopt);
    EXPECT_EQ(seen.starts.front(), std::nullopt);
    EXPECT_EQ(seen.rows[1].time, std::nullopt);
    EXPECT_EQ(seen.rows[2].time, december_start + 2.0);

    // The same log split in two files: the run goes on into the second,
    // whose lines count from 1 again; an empty line elsewhere is no row.
    const recorder split = read_files({start_line + header + "\n         1.000     6 ",
                                       "\n         2.000     7 \n\n         3.000     8 "});
    ASSERT_EQ(split.rows.size(), 3u);
    EXPECT_EQ(split.rows[1].line, 2u);
    EXPECT_EQ(split.rows[1].time, december_start + 2.0);
    EXPECT_EQ(split.skipped, std::vector<std::string>{"log:3: not a log row (the elapsed time is not in the "
                                                      "\"     %9.3f     \" form)"});
}

TEST(LogRows, ImpossibleElapsedTimesAreNoRowsAndSayWhy)
{
    const recorder seen = read_files(
        {header + "\n        -5.000     1 " + "\n     99999999999999999999.000     1 " + "\n     " +
         std::string(400, '9') + ".000     1 " + "\n     1000000000.000     1 " // the longest possible
         + "\n         0.013     1 "});
    EXPECT_EQ(seen.skipped, (std::vector<std::string>{
                                "log:2: not a log row (the elapsed time is negative)",
                                "log:3: not a log row (the elapsed time is beyond 1e9 s)",
                                "log:4: not a log row (the elapsed time does not parse as a number)",
                            }));
    ASSERT_EQ(seen.rows.size(), 2u);
    EXPECT_EQ(seen.rows[0].elapsed, "1000000000.000");
}

// Europe/Berlin's clock changes of 2026: on 29 March from 02:00 to 03:00, on
// 25 October from 03:00 back to 02:00.
TEST(StartLines, DatesThatDoNotExistOrClockChangesAreSaidWhichHourIsTaken)
{
    const harness::zone_guard central_european_time;
    std::string log;
    for (const char* text :
         {"Sun Oct 25 02:30:00 2026", "Sun Oct 25 03:30:00 2026", "Sun Mar 29 02:30:00 2026",
          "Tue Feb 30 10:00:00 2026", "Tue Dec  8 09:14:03 12026", "sometime"}) {
        log += "# Logging started at " + std::string(text) + "\n         0.000     1 \n";
    }
    const recorder seen = read_files({log});
    ASSERT_EQ(seen.starts.size(), 6u);
    // The repeated hour: the first of the two, in summer time.
    EXPECT_EQ(seen.starts[0], 1792888200);
    EXPECT_EQ(seen.start_notes[0],
              "log:1: start line \"Sun Oct 25 02:30:00 2026\": a time in the hour repeated "
              "when the clocks went back; taken as the first of the two "
              "(2026-10-25T02:30:00.000+02:00)");
    EXPECT_EQ(seen.starts[1], 1792895400);
    EXPECT_EQ(seen.start_notes[1], "");
    EXPECT_EQ(seen.start_notes[2],
              "log:5: start line \"Sun Mar 29 02:30:00 2026\": a time in the hour skipped "
              "when the clocks went forward; its rows have no absolute time");
    EXPECT_TRUE(seen.start_notes[3].ends_with(": no such date or time; its rows have no absolute time"));
    for (std::size_t run = 2; run < seen.starts.size(); ++run) {
        EXPECT_EQ(seen.starts[run], std::nullopt) << run;
        EXPECT_EQ(seen.rows[run].time, std::nullopt) << run;
        EXPECT_NE(seen.start_notes[run], "") << run;
    }
}

TEST(StartLines, InTheRepeatedHourAfterARunTheSecondReading)
{
    const harness::zone_guard central_european_time;
    // A run from 01:30 CEST to 02:39 CEST, then one started at 02:10: CET.
    const std::string log = log_text::start_lines("Sun Oct 25 01:30:00 2026") + log_text::text_of({4140.0}) +
                            "\n" + log_text::start_lines("Sun Oct 25 02:10:00 2026") +
                            log_text::text_of({0.0});
    const recorder seen = read_files({log});
    ASSERT_EQ(seen.starts.size(), 2u);
    EXPECT_EQ(seen.starts[0], 1792884600);
    EXPECT_EQ(seen.starts[1], 1792890600); // 01:10 UTC
}

TEST(LocalTimes, AHalfHourZoneKeepsItsMinutes)
{
    const harness::zone_guard saved;
    setenv("TZ", "IST-5:30", 1);
    tzset();
    EXPECT_EQ(logread::iso_offset(december_start, logread::time_zone::local), "+05:30");
}

TEST(Coverage, EveryClosedStretchCounts)
{
    logread::time_coverage coverage;
    for (const double time : {0.0, 5.0, 10.0}) {
        coverage.add(time, true);
    }
    coverage.add(20, false);
    EXPECT_DOUBLE_EQ(coverage.covered(), 3);
}

TEST_F(LocalTime, AContinuationLineGoesOnWithItsRunAndDatesAFileReadAlone)
{
    const std::string first = start_line + header + "\n         1.000     6 ";
    const std::string second =
        "# Continued: logging started at Tue Dec  8 09:14:03 2026\n         2.000     7 ";
    // In order, as files or run together (the continuation glued to the row).
    for (const recorder& seen : {read_files({first, second}), read_files({first + second})}) {
        EXPECT_EQ(seen.skipped, std::vector<std::string>{});
        EXPECT_EQ(seen.starts.size(), 1u);
        ASSERT_EQ(seen.rows.size(), 2u);
        EXPECT_EQ(seen.rows[1].run, 1u);
        EXPECT_EQ(seen.rows[1].time, december_start + 2.0);
    }
    const recorder alone = read_files({second});
    ASSERT_EQ(alone.rows.size(), 1u);
    EXPECT_EQ(alone.rows[0].run, 1u);
    EXPECT_EQ(alone.rows[0].time, december_start + 2.0);
    // After another run it begins the run it names.
    const recorder after_other = read_files(
        {first, "# Continued: logging started at Tue Dec  8 10:00:00 2026\n         2.000     7 "});
    EXPECT_EQ(after_other.starts.size(), 2u);
    ASSERT_EQ(after_other.rows.size(), 2u);
    EXPECT_EQ(after_other.rows[1].time, 1796720400.0 + 2.0);
}

TEST(FailedStarts, FslogsMessagesAreReportedAndAreNoBadLines)
{
    // Into a new log: two failed opens (each message between line ends),
    // a run, then the usage.
    const std::string log = "\nCouldn't open port /dev/ttyUSB0\n\nCouldn't open port /dev/ttyUSB0\n" +
                            start_line + header + "\n         1.000     6 \nUsage: /usr/bin/fslog comport\n";
    const recorder seen = read_files({log});
    EXPECT_EQ(seen.skipped, std::vector<std::string>{});
    EXPECT_EQ(seen.rows.size(), 1u);
    using logread::start_failure;
    EXPECT_EQ(seen.failed_starts,
              (std::vector<std::pair<std::size_t, start_failure>>{
                  {2, start_failure::port}, {4, start_failure::port}, {8, start_failure::usage}}));
}

// The DDS 2 rate of a log: its spans summed, its jumps and its windows.
struct rate_sums {
    logread::rate_span sum;
    std::size_t jumps = 0;
    std::vector<double> windows;
    logread::fitted_rate fitted;
};

rate_sums read_rate(const std::string& log)
{
    struct : logread::log_events {
        logread::dds_rate estimator;
        rate_sums sums;
        void on_row(const logread::row_event& row) override
        {
            const logread::rate_reading reading = estimator.take(row);
            sums.sum.add(reading.span.value_or(logread::rate_span{}));
            sums.jumps += reading.jump ? 1 : 0;
            if (reading.window) {
                sums.windows.push_back(*reading.window);
            }
        }
    } events;
    logread::line_reader reader(events);
    reader.feed(log);
    reader.finish();
    events.sums.fitted = events.estimator.fitted();
    return events.sums;
}

// A log of DDS 2 counting at `rate(t)` a second, a row every 50 ms, and
// the true rate from its first reading to its last. At row `odd_row` the
// ADC query fails (the 6 s reset after it leaves the DDS reading's time
// unknown), or, with `step`, the counter steps by that many counts.
struct counting_log {
    std::string log = log_text::start_lines("Tue Dec  8 09:14:03 2026");
    double true_rate = 0;

    counting_log(double seconds, const std::function<double(double)>& rate, int odd_row, long step = 0)
    {
        double counts = 0;
        long shown = 0;
        double now = 0;
        for (int row = 0; now < seconds; ++row) {
            const bool failed = row == odd_row && step == 0;
            const double took = failed ? 6 : 0.05;
            counts += rate(now + took / 2) * took;
            now += took;
            const auto dds2 = static_cast<long>(counts) + (row >= odd_row ? step : 0);
            log += log_text::text_of(
                {now, failed ? std::nullopt : std::optional(std::array{812, 2047, 1530, 2214}),
                 std::array{1L, dds2, dds2 - shown}});
            shown = dds2;
        }
        true_rate = (counts - rate(0) * 0.05) / (now - 0.05);
    }
};

TEST(DdsRate, ReadingsAtTheSamePrintedTimeCarryTheirDeltaOn)
{
    // Rows 0.4 ms apart: most share their printed time with the row before.
    std::string log = log_text::start_lines("Tue Dec  8 09:14:03 2026");
    for (int row = 0; row < 20000; ++row) {
        log += log_text::text_of({std::floor(row * 0.4) / 1000, std::array{812, 2047, 1530, 2214},
                                  std::array{1L, row * 40L, row == 0 ? 0L : 40L}});
    }
    const rate_sums sums = read_rate(log);
    EXPECT_NEAR(*sums.sum.rate() / 100000, 1, 1e-3);
    EXPECT_EQ(sums.jumps, 0u);
}

TEST(DdsRate, ARateThatRisesAcrossAResetIsNoJump)
{
    const counting_log rising(
        120, [](double t) { return t < 60 ? 100000.0 : 150000.0; }, 1190);
    const rate_sums sums = read_rate(rising.log);
    EXPECT_EQ(sums.jumps, 0u);
    EXPECT_NEAR(*sums.sum.rate() / rising.true_rate, 1, 1e-4);
}

TEST(DdsRate, AStepOfTheCounterIsAJumpLeftOutOfTheRate)
{
    const counting_log stepped(
        60, [](double) { return 100000.0; }, 600, 150000);
    const rate_sums sums = read_rate(stepped.log);
    EXPECT_EQ(sums.jumps, 1u);
    EXPECT_NEAR(*sums.sum.rate() / 100000, 1, 1e-4);
}

TEST(DdsRate, SpansAMissedReadingCarriesOneOfUnknownTimeOnAndStartsAfreshWithEachRun)
{
    const std::string adc = "        812    2047    1530    2214  ";
    const std::string log = start_line + header + "\n         0.000" + adc + "1 100 100 7 " + // no rate
                            "\n         0.050" + adc + "1 5100 5000 7 " + "\n         0.100" + adc +
                            "7 " +                                            // the DDS query failed
                            "\n         6.150" + adc + "1 615100 610000 7 " + // spans 6.1 s
                            "\n         6.200" + adc + "(CS bad!) 1 620100 5000 7 " +
                            // The ADC query failed: the DDS reading came after a
                            // reset, at an unknown time, so its delta goes on
                            // into the next reading's span, from 6.2 s.
                            "\n         6.250     1 1220100 600000 7 " + "\n        12.300" + adc +
                            "1 1225100 5000 7 " + "\n        12.350" + adc + "1 1230100 5000 7 " + "\n" +
                            start_line + header + "\n         0.040" + adc + "1 4000 4000 7 ";
    const recorder seen = read_files({log});
    std::vector<std::optional<double>> rates;
    for (const seen_row& row : seen.rows) {
        rates.push_back(row.rate ? row.rate->rate() : std::nullopt);
    }
    const std::vector<std::optional<double>> expected = {std::nullopt,   100000.0, std::nullopt,
                                                         610000.0 / 6.1, 100000.0, std::nullopt,
                                                         605000.0 / 6.1, 100000.0, std::nullopt};
    ASSERT_EQ(rates.size(), expected.size());
    for (std::size_t i = 0; i < rates.size(); ++i) {
        ASSERT_EQ(rates[i].has_value(), expected[i].has_value()) << "row " << i;
        if (rates[i]) {
            EXPECT_NEAR(*rates[i], *expected[i], 1e-3) << "row " << i;
        }
    }
}

// A busy host's log of DDS 2 counting exactly 100000 a second: each row's
// elapsed time is taken before an ADC exchange of varying length, and the
// DDS reading comes after it. Halfway, fslog is paused for 30 s within an
// exchange; later the unit is replugged and its counter starts afresh.
TEST(DdsRate, SumsOfASlowHostsLogGiveTheTrueRateAndLeaveJumpsOut)
{
    std::mt19937_64 random(7);
    std::exponential_distribution<double> wait(1 / 0.03);
    std::uniform_real_distribution<double> chance(0, 1);
    constexpr double rate = 100000;
    std::string log = log_text::start_lines("Tue Dec  8 09:14:03 2026");
    double now = 0;
    double counter_zero = -5;
    long shown = 0;
    for (int row = 0; now < 1800; ++row) {
        const double elapsed = now;
        now += 0.018 + wait(random) + (chance(random) < 0.01 ? 0.4 : 0.0) + (row == 6000 ? 30 : 0);
        counter_zero = row == 12000 ? now : counter_zero;
        const auto dds2 = static_cast<long>((now - counter_zero) * rate) % (1L << 32);
        log += log_text::text_of(
            {elapsed, {{812, 2047, 1530, 2214}}, {{1, dds2, row == 0 ? dds2 : dds2 - shown}}});
        shown = dds2;
        now += 0.031 + wait(random);
    }
    const rate_sums sums = read_rate(log);
    EXPECT_NEAR(*sums.sum.rate() / rate, 1, 5e-4);
    EXPECT_EQ(sums.jumps, 1u);            // the replug; the pause only delayed a reading
    EXPECT_GT(sums.windows.size(), 150u); // of least-delayed readings 10 s or a little more apart
    for (const double window : sums.windows) {
        EXPECT_NEAR(window / rate, 1, 5e-3); // not moved by a long exchange at either end
    }
}

// A busy host's hour: each reading comes after its row's elapsed time by
// an ADC exchange, and before the next row's by the tuning exchange, each
// with a wait for the CPU, now and then a long one; now and then the host
// stalls for seconds. The least-delayed readings give the unit's rate.
TEST(DdsRate, TheFittedRateOfABusyHostsLogIsTheUnitsToAFewPartsIn1e8)
{
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> chance(0, 1);
    std::exponential_distribution<double> short_wait(1 / 0.004);
    std::uniform_real_distribution<double> long_wait(0.05, 0.6);
    std::uniform_real_distribution<double> stall(0.5, 3);
    const auto wait = [&] {
        const double wait_for_cpu = short_wait(random);
        return wait_for_cpu + (chance(random) < 0.01 ? long_wait(random) : 0);
    };
    constexpr double rate = 100000;
    std::string log = log_text::start_lines("Tue Dec  8 09:14:03 2026");
    double now = 0;
    long shown = 0;
    for (int row = 0; now < 3600; ++row) {
        const double elapsed = std::round(now * 1000) / 1000;
        now += 0.0354 + wait(); // the ADC exchange
        now += wait();          // the DDS query's wait
        now += chance(random) < 0.0005 ? stall(random) : 0;
        const auto dds2 = static_cast<long>(now * rate) % (1L << 32);
        log += log_text::text_of(
            {elapsed, {{812, 2047, 1530, 2214}}, {{1, dds2, row == 0 ? dds2 : dds2 - shown}}});
        shown = dds2;
        now += 0.014 + wait();
    }
    const rate_sums sums = read_rate(log);
    EXPECT_NEAR(*sums.fitted.rate() / rate, 1, 3e-8);
    EXPECT_LT(*sums.fitted.error() / rate, 3e-8);
    EXPECT_EQ(sums.jumps, 0u);
}

// The unit's ADEV(10 s) is a fraction of its rate, whatever rough rate the
// phase was first taken against (rows a fraction of a millisecond apart
// give a very rough one).
TEST(PhaseFit, TheAllanDeviationDoesNotHangOnTheRoughRateItStartedFrom)
{
    const auto adev_from = [](double rough_rate) {
        logread::phase_fit fit;
        for (int second = 0; second < 100; ++second) {
            const double t = second + 0.25;
            fit.add(t, 100000 * t + 50 * std::sin(t / 7), rough_rate);
        }
        return *fit.adev();
    };
    EXPECT_NEAR(adev_from(3000) / adev_from(100000), 1, 1e-6);
}

// ---- Files ----

class LogFiles : public LocalTime {
protected:
    void SetUp() override
    {
        LocalTime::SetUp();
        std::ofstream(plain) << start_line << header << "\n         0.013     1 2 3 4 "
                             << "\n         1.013     (CS bad!) 1 2 3 4 ";
    }
    static harness::finished_run run(const std::string& command)
    {
        return harness::run_to_end({"/bin/sh", "-c", command}, 10s);
    }

    const harness::scratch_dir dir{"fslog-log"};
    const std::string plain = dir / "unit.log";
    const std::string csv = std::string(FSLOG_CSV_BIN) + " --time ";
};

TEST_F(LogFiles, GzipLogReadsTheSameAsThePlainOne)
{
    // Two gzip members, as `cat a.gz b.gz` gives, read as one text.
    ASSERT_EQ(run("gzip -c " + plain + " > " + plain + ".gz && gzip -c " + plain + " >> " + plain +
                  ".gz &&"
                  " cat " +
                  plain + " " + plain + " > " + plain + ".twice")
                  .exit_code,
              0);
    const harness::finished_run from_plain = run(csv + plain + ".twice");
    EXPECT_EQ(from_plain.exit_code, 0) << from_plain.err; // the copies meet as an old-style restart
    EXPECT_NE(from_plain.out.find("2026-12-08T09:14:04.013+01:00,1.013,,,,,1,2,3,4,1,0\n"), std::string::npos)
        << from_plain.out;
    const harness::finished_run from_gzip = run(csv + plain + ".gz");
    EXPECT_EQ(from_gzip.out, from_plain.out);
    const harness::finished_run from_stdin = run(csv + "- < " + plain + ".gz");
    EXPECT_EQ(from_stdin.out, from_plain.out);
}

TEST_F(LogFiles, FilesThatOverlapInTimeStopTheReadingAndNameBoth)
{
    // unit.log runs from 09:14:03.013 to 09:14:04.013. Its rotated rest goes
    // on to 09:14:05; a restart is logged from 09:14:04 (a start line reads
    // up to a second early); another unit's log began at 09:14:00.
    const auto file = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return dir / name;
    };
    const std::string rest = file("rest.log", "\n         2.000     5 ");
    const std::string restart = file("restart.log", "# Logging started at Tue Dec  8 09:14:04 2026\n" +
                                                        header + "\n         0.500     6 ");
    const std::string other = file("other.log", "# Logging started at Tue Dec  8 09:14:00 2026\n" + header +
                                                    "\n         0.500     7 ");
    const auto read = [&](const std::vector<std::string>& paths) {
        recorder seen;
        const logread::files_read result = logread::read_log_files(paths, seen, logread::time_zone::local);
        return std::pair(result, seen.rows.size());
    };
    const auto [in_order, rows] = read({plain, rest, restart});
    EXPECT_EQ(in_order.end, logread::files_end::done) << in_order.problem;
    EXPECT_EQ(rows, 4u);

    const auto [two_units, taken] = read({plain, other});
    EXPECT_EQ(two_units.end, logread::files_end::overlap);
    EXPECT_EQ(two_units.problem,
              other + ":3: a row at 2026-12-08T09:14:00.500+01:00 comes before the last row of " + plain +
                  ", at 2026-12-08T09:14:04.013+01:00: " + other + " and " + plain +
                  " overlap (give one unit's files, oldest first)");
    EXPECT_EQ(taken, 2u); // nothing of the overlapping file

    EXPECT_EQ(read({restart, plain}).first.end, logread::files_end::overlap); // newest first
    EXPECT_EQ(read({plain, dir / "none.log"}).first.end, logread::files_end::open_failed);
}

TEST_F(LogFiles, DamagedGzipIsAReadErrorButZeroPaddingReadsWithAWarning)
{
    ASSERT_EQ(run("gzip -c " + plain + " | head -c 40 > " + plain + ".gz").exit_code, 0);
    const harness::finished_run cut = run(csv + plain + ".gz");
    EXPECT_EQ(cut.exit_code, 2);
    EXPECT_EQ(cut.err, "fslog-csv: can't read " + plain + ".gz: the gzip data ends too early\n");

    // As a crash leaves it: more zeros than one read takes after the member.
    const std::string padded = plain + ".padded.gz";
    ASSERT_EQ(run("gzip -c " + plain + " > " + padded + " && head -c 70000 /dev/zero >> " + padded).exit_code,
              0);
    const harness::finished_run read = run(csv + padded);
    EXPECT_EQ(read.exit_code, 0);
    EXPECT_EQ(read.out, run(csv + plain).out);
    EXPECT_EQ(read.err, "fslog-csv: " + padded + ": zero bytes after the gzip data ignored\n");
}

TEST_F(LogFiles, PlainLogOnAPipeConvertsAsItComes)
{
    // The writer holds the pipe open: a reader that waited for a full
    // buffer or the end would show nothing yet.
    harness::child_process converter(
        {"/bin/sh", "-c", "{ cat " + plain + "; echo; sleep 5; } | " + std::string(FSLOG_CSV_BIN)});
    EXPECT_TRUE(converter.read_until(
        [](const std::string& out) { return out.ends_with("1.013,,,,,1,2,3,4,1,0\n"); }, 3s))
        << converter.out();
    ::kill(-converter.pid(), SIGKILL); // the shell's whole group: the sleep and fslog-csv too
    converter.kill();
}

} // namespace
