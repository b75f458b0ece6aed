// fslog-csv: log rows read back into columns, and the program around it.
#include "csv/log_converter.hpp"
#include "harness.hpp"
#include "link/serial_port.hpp"
#include "logger/logger.hpp"
#include "logread/row.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using csv::log_converter;
using harness::pty_pair;
using harness::stdout_capture;

const std::string header_lines =
    "# Logging started at Tue Dec  8 09:14:03 2026\n"
    "# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, delta dds2, "
    "user tuning";

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

// ---- What the logger really prints, read back ----

// How a DDS or tuning reply goes wrong without failing the exchange (a
// failed exchange would cost a 4 s reset; it prints nothing, just like a
// too-short reply).
enum class reply_kind { good, bad_check, too_short, too_short_bad_check };
constexpr std::array all_kinds{reply_kind::good, reply_kind::bad_check, reply_kind::too_short,
                               reply_kind::too_short_bad_check};

unit::bytes shaped(unit::bytes good, std::uint8_t code, reply_kind kind)
{
    if (kind == reply_kind::too_short || kind == reply_kind::too_short_bad_check) {
        good = unit::reply_frame(code, unit::bytes{1, 2});
    }
    if (kind == reply_kind::bad_check || kind == reply_kind::too_short_bad_check) {
        unit::spoil_payload_check(good);
    }
    return good;
}

bool prints_values(reply_kind kind)
{
    return kind == reply_kind::good || kind == reply_kind::bad_check;
}
bool prints_note(reply_kind kind)
{
    return kind == reply_kind::bad_check || kind == reply_kind::too_short_bad_check;
}

// The CSV cells after the ADC group that the documented reading gives.
std::string expected_tail(reply_kind dds, reply_kind tuning, const std::string& dds_cells,
                          std::int32_t tuning_value)
{
    bool dds_flag = prints_note(dds);
    bool tuning_flag = prints_note(tuning);
    // A note followed by nothing of its own group, then at most one number
    // and no second note, is read as the tuning reply's.
    if (prints_note(dds) && !prints_values(dds) && !prints_note(tuning)) {
        dds_flag = false;
        tuning_flag = true;
    }
    return (prints_values(dds) ? dds_cells : ",,") + "," +
           (prints_values(tuning) ? std::to_string(tuning_value) : "") + "," + (dds_flag ? "1" : "0") + "," +
           (tuning_flag ? "1" : "0");
}

class LoggerRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(serial_init(line.slave_path().c_str()), 1);
        stdout_capture discard;
        line.send(unit::dds_reply(0, last_dds2));
        test_22_command();
    }

    // Prints one row through the logger's own code; returns the CSV cells
    // expected for it after the elapsed time and the ADC group.
    std::string log_one_row(double start_time, reply_kind dds, reply_kind tuning)
    {
        const std::uint32_t dds2 = last_dds2 + 10;
        const std::int32_t tuning_value = -1000 - static_cast<std::int32_t>(row_count++);
        line.send(unit::adc_reply({812, 2047, 1530, 65535}));
        line.send(shaped(unit::dds_reply(4000000000u, dds2), 0x22, dds));
        line.send(shaped(unit::tuning_reply(tuning_value), 0x2D, tuning));
        log_row(start_time);
        const std::string dds_cells = "4000000000," + std::to_string(dds2) + ",10";
        if (prints_values(dds)) {
            last_dds2 = dds2;
        }
        return expected_tail(dds, tuning, dds_cells, tuning_value);
    }

    pty_pair line;
    std::uint32_t last_dds2 = 3000000000u;
    unsigned row_count = 0;
};

TEST_F(LoggerRows, EveryMixOfNotesAndMissingDdsAndTuningValuesReadsBackAsLogged)
{
    // Started over 100000 s ago: the elapsed field is wider than its nine characters.
    const double start_time = get_time() - 100000.0;
    std::vector<std::string> expected;
    std::string log = header_lines;
    {
        stdout_capture out;
        for (const reply_kind dds : all_kinds) {
            for (const reply_kind tuning : all_kinds) {
                expected.push_back(log_one_row(start_time, dds, tuning));
            }
        }
        log += out.text();
    }
    const conversion result = convert(log);
    EXPECT_EQ(result.messages, "");
    std::istringstream rows(result.csv);
    std::string row;
    for (const std::string& cells : expected) {
        ASSERT_TRUE(std::getline(rows, row));
        EXPECT_TRUE(row.starts_with("100000.")) << row;
        EXPECT_TRUE(row.ends_with(",812,2047,1530,65535," + cells)) << row;
    }
    EXPECT_FALSE(std::getline(rows, row));
}

TEST_F(LoggerRows, RowWithoutAdcGroupReadsBack)
{
    // The ADC reply fails its header check, which resets the line; the unit
    // answers the next queries only once they are asked.
    harness::scripted_unit unit(line, [](std::uint8_t code) {
        unit::bytes reply;
        switch (code) {
        case 0x5A:
            reply = unit::adc_reply({1, 2, 3, 4});
            unit::spoil_header_check(reply);
            break;
        case 0x22:
            reply = unit::dds_reply(5, 6);
            unit::spoil_payload_check(reply);
            break;
        default: reply = unit::tuning_reply(-7); break;
        }
        return reply;
    });
    std::string log = header_lines;
    {
        stdout_capture out;
        log_row(get_time());
        log += out.text();
    }
    const conversion result = convert(log);
    EXPECT_EQ(result.messages, "");
    const std::string delta = std::to_string(static_cast<std::int32_t>(6u - last_dds2));
    EXPECT_TRUE(result.csv.ends_with(",,,,,5,6," + delta + ",-7,1,0\n")) << result.csv;
}

// ---- Rows as text ----

struct text_case {
    std::string row;
    std::string csv;
};

TEST(LogRowText, LayoutTellsTheGroupsApart)
{
    const std::vector<text_case> cases = {
        // Only the elapsed time: every query failed.
        {"        12.000     ", "12.000,,,,,,,,,0,0"},
        // Without the ADC group, three numbers are the DDS group, one the tuning.
        {"        12.000     1 2 3 ", "12.000,,,,,1,2,3,,0,0"},
        {"        12.000     -4 ", "12.000,,,,,,,,-4,0,0"},
        {"        12.000     1 2 -3 -4 ", "12.000,,,,,1,2,-3,-4,0,0"},
        {"        12.000     (CS bad!) 1 2 3 (CS bad!) 4 ", "12.000,,,,,1,2,3,4,1,1"},
        {"        12.000     1 2 3 (CS bad!) ", "12.000,,,,,1,2,3,,0,1"},
        {"        12.000     (CS bad!) (CS bad!) 4 ", "12.000,,,,,,,,4,1,1"},
        {"        12.000     (CS bad!) (CS bad!) ", "12.000,,,,,,,,,1,1"},
        // The ambiguous ones: read as the tuning reply's note.
        {"        12.000     (CS bad!) ", "12.000,,,,,,,,,0,1"},
        {"        12.000     (CS bad!) 4 ", "12.000,,,,,,,,4,0,1"},
        // Padding: numbers of four digits and more fill their fields.
        {"         0.000          0       1      22     333  ", "0.000,0,1,22,333,,,,,0,0"},
        {"      1234.567       4444    65535    10000    9999  9 ",
         "1234.567,4444,65535,10000,9999,,,,9,0,0"},
        // A clock set back shows a negative elapsed time.
        {"        -3.250          1       2       3       4  ", "-3.250,1,2,3,4,,,,,0,0"},
        // The extremes of the 32-bit columns.
        {"        12.000     4294967295 0 -2147483648 2147483647 ",
         "12.000,,,,,4294967295,0,-2147483648,2147483647,0,0"},
    };
    for (const text_case& each : cases) {
        const conversion result = convert(each.row);
        EXPECT_EQ(result.messages, "") << each.row;
        EXPECT_EQ(result.csv, each.csv + "\n") << each.row;
    }
}

TEST(LogRowText, LinesThatAreNoRowsAreNamedAndSkipped)
{
    const std::vector<std::string> not_rows = {
        "garbage",
        "",
        // Elapsed field: padding, decimals, margin.
        "       12.000     1 ",
        "        12.00      1 ",
        "        12.000    1 ",
        // ADC fields: padding one off, one field too few, out of range.
        "        12.000         812    2047    1530    2214  ",
        "        12.000        812    2047     1530    2214  ",
        "        12.000        812    2047    1530  ",
        "        12.000        812    2047    1530  5 ",
        "        12.000       65536    2047    1530    2214  ",
        // The fields after the ADC group.
        "        12.000     1 2 ",
        "        12.000     1 2 3 4 5 ",
        "        12.000     1 (CS bad!) 2 3 ",
        "        12.000     1 2 3 4",
        "        12.000     1  2 3 ",
        "        12.000     -1 2 3 ",
        "        12.000     1 2 3 2147483648 ",
        "        12.000     1 2 3 4 \r",
        "        12.000     (CS bad!) (CS bad!) (CS bad!) ",
        "        12.000     (CS bad) 4 ",
    };
    std::string log = header_lines;
    for (const std::string& line : not_rows) {
        log += "\n" + line;
    }
    log += "\n        99.000     1 ";
    const conversion result = convert(log + "\n");
    EXPECT_EQ(result.csv, "99.000,,,,,,,,1,0,0\n");
    EXPECT_EQ(result.skipped, not_rows.size());
    std::istringstream messages(result.messages);
    std::string message;
    for (std::size_t i = 0; i < not_rows.size(); ++i) {
        ASSERT_TRUE(std::getline(messages, message));
        const std::string place = "fslog-csv: unit.log:" + std::to_string(i + 3) + ": not a log row (";
        EXPECT_TRUE(message.starts_with(place)) << message;
        EXPECT_TRUE(message.ends_with("), skipped")) << message;
    }
}

// ---- The log as a stream ----

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

TEST(LogConverter, TimeColumnIsLocalTimeWithMillisecondsOrEmptyWithoutAStartLine)
{
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    // Rotated in mid-run, then a restart appended the old way (glued to the
    // last row), and one a summer later.
    const std::string log = "\n     86400.000     5 " + ("\n" + header_lines) + "\n         0.013     6 " +
                            "\n        59.999     7 \n        60.000     8 # Logging started at Sun Jul  5 "
                            "23:59:59 2026\n         0.999     9 ";
    log_converter converter("unit.log", csv::time_column::with);
    converter.feed(log);
    converter.finish();
    EXPECT_EQ(converter.take_messages(), "");
    EXPECT_EQ(converter.take_csv(), std::string(csv::time_cell_header) + std::string(csv::csv_header) +
                                        ",86400.000,,,,,,,,5,0,0\n"
                                        "2026-12-08T09:14:03.013,0.013,,,,,,,,6,0,0\n"
                                        "2026-12-08T09:15:02.999,59.999,,,,,,,,7,0,0\n"
                                        "2026-12-08T09:15:03.000,60.000,,,,,,,,8,0,0\n"
                                        "2026-07-05T23:59:59.999,0.999,,,,,,,,9,0,0\n");
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
    EXPECT_EQ(usage.err, "Usage: fslog-csv [--time] [LOG]\n");
    const harness::finished_run missing = run(program + " " + log_path + ".none");
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_TRUE(missing.err.starts_with("fslog-csv: can't open " + log_path + ".none: ")) << missing.err;
    EXPECT_EQ(missing.out, "");
}

} // namespace
