// fslog-csv: the log as a stream of CSV lines, and the program around it.
// (The row parser's own tests are the log library's, in test_logread_row.cpp.)
#include "csv/log_converter.hpp"
#include "harness.hpp"
#include "log_text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using csv::log_converter;

const std::string header_lines = log_text::start_lines("Tue Dec  8 09:14:03 2026");

struct conversion {
    std::string csv; // without the CSV header line
    std::string messages;
    std::size_t skipped = 0;
};

conversion convert(const std::string& log)
{
    log_converter converter("unit.log");
    converter.feed(log);
    converter.finish();
    conversion result{converter.take_csv(), converter.take_messages(), converter.skipped_lines()};
    EXPECT_TRUE(result.csv.starts_with(csv::csv_header));
    result.csv.erase(0, csv::csv_header.size());
    return result;
}

// ---- The log as a stream ----

// A file of garbage says its first ten lines, then how many more; the next
// file of the same log gets its own ten.
TEST(LogConverter, SaysTheFirstTenSkippedLinesOfEachFileThenHowManyMore)
{
    log_converter converter("unit.log");
    std::string garbage;
    for (int line = 0; line < 1000; ++line) {
        garbage += "garbage\n";
    }
    converter.feed(header_lines + "\n" + garbage + "        99.000     1 ");
    converter.finish();
    const std::string messages = converter.take_messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 11) << messages;
    EXPECT_TRUE(messages.starts_with("fslog-csv: unit.log:3: not a log row (")) << messages;
    EXPECT_TRUE(messages.ends_with("\nfslog-csv: unit.log: 990 more lines are no log rows, skipped\n"))
        << messages;
    EXPECT_EQ(converter.skipped_lines(), 1000u);

    converter.feed("garbage\ngarbage\n        99.000     1 ");
    converter.finish();
    const std::string next = converter.take_messages();
    EXPECT_EQ(std::count(next.begin(), next.end(), '\n'), 2) << next;
    EXPECT_TRUE(next.starts_with("fslog-csv: unit.log:1: not a log row (")) << next;
}

TEST(LogConverter, HeaderCommentsAndLineEndsAsFslogWritesThem)
{
    // The header line's end is the first row's newline; the last row has
    // none. A reply dump in the log is comment lines.
    const std::string log = header_lines + "\n         1.000     5 " +
                            "\n#\n# Cmd 0x2B cs ok 0x04 byte reply: [2B] [04] [00] [2F] \n# ASCII (.): +../" +
                            "\n         2.000     6 ";
    const conversion result = convert(log);
    EXPECT_EQ(result.csv, "1.000,,,,,,,,5,0,0\n2.000,,,,,,,,6,0,0\n");
    EXPECT_EQ(result.skipped, 0u);
}

TEST(LogConverter, CutOffLastRowIsReportedAsIncomplete)
{
    const conversion result = convert(header_lines + "\n         1.000     5 \n         2.000       81");
    EXPECT_EQ(result.csv, "1.000,,,,,,,,5,0,0\n");
    EXPECT_EQ(result.skipped, 1u);
    EXPECT_TRUE(result.messages.starts_with("fslog-csv: unit.log:4: incomplete last row ("))
        << result.messages;
}

TEST(LogConverter, PiecesSplitAnywhereGiveTheSameCsv)
{
    const std::string log =
        header_lines + "\n         1.000     (CS bad!) 1 2 3 4 \njunk\n         2.000     5 ";
    const conversion whole = convert(log);
    log_converter converter("unit.log");
    std::string csv;
    for (const char byte : log) {
        converter.feed(std::string_view(&byte, 1));
        csv += converter.take_csv();
    }
    converter.finish();
    csv += converter.take_csv();
    EXPECT_EQ(csv, std::string(csv::csv_header) + whole.csv);
    EXPECT_EQ(converter.take_messages(), whole.messages);
    EXPECT_EQ(whole.skipped, 1u);
}

TEST(LogConverter, OverlongLineIsSkippedWithoutBeingHeldWhole)
{
    const std::string junk(3 * log_converter::max_line_length, 'x');
    log_converter converter("unit.log");
    converter.feed("         1.000     5 \n");
    for (int i = 0; i < 3; ++i) {
        converter.feed(junk);
    }
    converter.feed("\n         2.000     6 ");
    converter.finish();
    EXPECT_EQ(converter.take_csv(),
              std::string(csv::csv_header) + "1.000,,,,,,,,5,0,0\n2.000,,,,,,,,6,0,0\n");
    EXPECT_EQ(converter.take_messages(),
              "fslog-csv: unit.log:2: not a log row (longer than any row), skipped\n");
}

TEST(LogConverter, TimeColumnIsLocalTimeWithMillisecondsAndOffsetOrEmptyWithoutAStartLine)
{
    const harness::zone_guard central_european_time;
    // Rotated in mid-run, then a restart appended the old way (glued to the
    // last row), and one a summer later.
    const std::string log = "\n     86400.000     5 " + ("\n" + header_lines) + "\n         0.013     6 " +
                            "\n        59.999     7 \n        60.000     8 " +
                            log_text::start_line("Sun Jul  5 23:59:59 2026") + "         0.999     9 ";
    log_converter converter("unit.log", csv::time_column::with);
    converter.feed(log);
    converter.finish();
    EXPECT_EQ(converter.take_messages(), "");
    EXPECT_EQ(converter.take_csv(), std::string(csv::time_cell_header) + std::string(csv::csv_header) +
                                        ",86400.000,,,,,,,,5,0,0\n"
                                        "2026-12-08T09:14:03.013+01:00,0.013,,,,,,,,6,0,0\n"
                                        "2026-12-08T09:15:02.999+01:00,59.999,,,,,,,,7,0,0\n"
                                        "2026-12-08T09:15:03.000+01:00,60.000,,,,,,,,8,0,0\n"
                                        "2026-07-05T23:59:59.999+02:00,0.999,,,,,,,,9,0,0\n");
}

TEST(LogConverter, TimesAcrossTheAutumnChangeCarryTheirOffsetOrAreUtc)
{
    const harness::zone_guard central_european_time;
    // From 01:00 CEST, two hours on: 03:00 CEST is 02:00 CET.
    const std::string log =
        log_text::start_lines("Sun Oct 25 01:00:00 2026") + "\n      7199.500     1 \n      7200.500     2 ";
    const auto convert_in = [&](logread::time_zone zone) {
        log_converter converter("unit.log", csv::time_column::with, zone);
        converter.feed(log);
        converter.finish();
        const std::string csv = converter.take_csv();
        return csv.substr(csv.find('\n') + 1);
    };
    EXPECT_EQ(convert_in(logread::time_zone::local), "2026-10-25T02:59:59.500+02:00,7199.500,,,,,,,,1,0,0\n"
                                                     "2026-10-25T02:00:00.500+01:00,7200.500,,,,,,,,2,0,0\n");
    EXPECT_EQ(convert_in(logread::time_zone::utc), "2026-10-25T00:59:59.500Z,7199.500,,,,,,,,1,0,0\n"
                                                   "2026-10-25T01:00:00.500Z,7200.500,,,,,,,,2,0,0\n");
}

// ---- The program ----

class CsvProgram : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(log_path); }

    void write_log(const std::string& text) const { std::ofstream(log_path) << text; }

    static harness::finished_run run(const std::string& command)
    {
        return harness::run_to_end({"/bin/sh", "-c", command}, 10s);
    }

    const std::string log_path = testing::TempDir() + "fslog_csv_test_" + std::to_string(getpid()) + ".log";
    const std::string program = FSLOG_CSV_BIN;
};

TEST_F(CsvProgram, StatusTellsWhetherLinesWereSkipped)
{
    write_log(header_lines + "\n         1.000     5 ");
    const harness::finished_run clean = run(program + " " + log_path);
    EXPECT_EQ(clean.exit_code, 0);
    EXPECT_EQ(clean.out, std::string(csv::csv_header) + "1.000,,,,,,,,5,0,0\n");
    EXPECT_EQ(clean.err, "");

    write_log(header_lines + "\n         1.000     5 \nnoise\n         2.000     6 ");
    const harness::finished_run skipping = run(program + " < " + log_path);
    EXPECT_EQ(skipping.exit_code, 1);
    EXPECT_EQ(skipping.out, std::string(csv::csv_header) + "1.000,,,,,,,,5,0,0\n2.000,,,,,,,,6,0,0\n");
    EXPECT_TRUE(skipping.err.starts_with("fslog-csv: standard input:4: not a log row (")) << skipping.err;
}

TEST_F(CsvProgram, FslogsOwnMessagesAreSkippedWithoutFailing)
{
    // A service's log after a run: fslog failed to open the port twice,
    // then got no device at all.
    write_log(header_lines + "\n         1.000     5 ");
    const std::string fslog = FSLOG_BIN;
    const std::string append = " >>" + log_path + "; ";
    run(fslog + " /nonexistent/ttyUSB0" + append + fslog + " /nonexistent/ttyUSB0" + append + fslog + append);
    const harness::finished_run result = run(program + " " + log_path);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, std::string(csv::csv_header) + "1.000,,,,,,,,5,0,0\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(CsvProgram, UsageAndUnreadableLogAreStatus2)
{
    const harness::finished_run usage = run(program + " a.log b.log");
    EXPECT_EQ(usage.exit_code, 2);
    EXPECT_TRUE(usage.err.starts_with("fslog-csv: one LOG at most\n")) << usage.err;
    const harness::finished_run missing = run(program + " " + log_path + ".none");
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_TRUE(missing.err.starts_with("fslog-csv: can't open " + log_path + ".none: ")) << missing.err;
    EXPECT_EQ(missing.out, "");
}

} // namespace
