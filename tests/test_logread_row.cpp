// The log library's rows: the row parser against what the logger really
// prints and against row text, and what a row says about the unit as every
// tool takes it.
#include "csv/log_converter.hpp"
#include "harness.hpp"
#include "link/serial_port.hpp"
#include "log_text.hpp"
#include "logger/logger.hpp"
#include "logread/line_reader.hpp"
#include "logread/row_facts.hpp"
#include "logread/running_stats.hpp"
#include "metrics/log_metrics.hpp"
#include "protocol/protocol.hpp"
#include "report/live_view.hpp"
#include "report/log_summary.hpp"

#include <gtest/gtest.h>
#include <prometheus/text_serializer.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sstream>

namespace {

using harness::stdout_capture;
using log_text::row;
using log_text::text_of;

// Keeps each run's figures as the report's summary passes them on.
struct kept_runs : report::summary_events {
    std::vector<report::summary> runs;
    void on_run_end(const report::summary& run) override { runs.push_back(run); }
    void on_start_note(const std::string&) override {}
};

const std::string header_lines = log_text::start_lines("Tue Dec  8 09:14:03 2026");

// A row's fields as one line of cells: the text of each, empty where it is
// missing, and the two "(CS bad!)" flags as 1 or 0.
std::string cells_of(const logread::log_row& fields)
{
    std::string cells(fields.elapsed);
    for (const std::string_view field : fields.adc) {
        cells += "," + std::string(field);
    }
    for (const std::string_view field : fields.dds) {
        cells += "," + std::string(field);
    }
    cells += "," + std::string(fields.tuning);
    cells += fields.dds_cs_bad ? ",1" : ",0";
    cells += fields.tuning_cs_bad ? ",1" : ",0";
    return cells;
}

// What the library reads in a log: each row's cells, its values, and each
// skipped line as the tools name it.
struct reading : logread::log_events {
    void on_row(const logread::row_event& each) override
    {
        rows.push_back(cells_of(each.text));
        values.push_back(each.values);
    }
    void on_skipped(const logread::skipped_line& line) override
    {
        skipped.push_back(logread::describe("unit.log", line));
    }

    std::vector<std::string> rows;
    std::vector<logread::row_values> values;
    std::vector<std::string> skipped;
};

reading read_log(const std::string& log)
{
    reading seen;
    logread::line_reader reader(seen);
    reader.feed(log);
    reader.finish();
    return seen;
}

// ---- What the logger really prints, read back ----

// How a DDS or tuning reply goes wrong without failing the exchange (a
// failed exchange would cost a reset; it prints nothing, just like a
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

// The cells after the ADC group that the documented reading gives.
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

class LoggerRows : public harness::port_on_pty {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(port_on_pty::SetUp());
        stdout_capture discard;
        line.send(unit::dds_reply(0, last_dds2));
        test_22_command();
    }

    // Prints one row through the logger's own code; returns the cells
    // expected for it after the elapsed time and the ADC group.
    std::string log_one_row(double start_time, reply_kind dds, reply_kind tuning)
    {
        const std::uint32_t dds2 = last_dds2 + 10;
        const std::int32_t tuning_value = -1000 - static_cast<std::int32_t>(row_count++);
        line.send(unit::adc_reply({812, 2047, 1530, 65535}));
        line.send(shaped(unit::dds_reply(4000000000u, dds2), protocol::command::dds, dds));
        line.send(shaped(unit::tuning_reply(tuning_value), protocol::command::tuning, tuning));
        log_row(start_time);
        const std::string dds_cells = "4000000000," + std::to_string(dds2) + ",10";
        if (prints_values(dds)) {
            last_dds2 = dds2;
        }
        return expected_tail(dds, tuning, dds_cells, tuning_value);
    }

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
    const reading seen = read_log(log);
    EXPECT_EQ(seen.skipped, std::vector<std::string>{});
    ASSERT_EQ(seen.rows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(seen.rows[i].starts_with("100000.")) << seen.rows[i];
        EXPECT_TRUE(seen.rows[i].ends_with(",812,2047,1530,65535," + expected[i])) << seen.rows[i];
    }
}

TEST_F(LoggerRows, RowWithoutAdcGroupReadsBack)
{
    // The ADC reply fails its header check, which resets the line; the unit
    // answers the next queries only once they are asked.
    harness::scripted_unit unit(line, [](std::uint8_t code) {
        unit::bytes reply;
        switch (code) {
        case protocol::command::adc:
            reply = unit::adc_reply({1, 2, 3, 4});
            unit::spoil_header_check(reply);
            break;
        case protocol::command::dds:
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
    const reading seen = read_log(log);
    EXPECT_EQ(seen.skipped, std::vector<std::string>{});
    const std::string delta = std::to_string(static_cast<std::int32_t>(6u - last_dds2));
    ASSERT_EQ(seen.rows.size(), 1u);
    EXPECT_TRUE(seen.rows[0].ends_with(",,,,,5,6," + delta + ",-7,1,0")) << seen.rows[0];
}

// ---- Rows as text ----

struct text_case {
    std::string row;
    std::string cells;
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
        // The extremes of the 32-bit columns.
        {"        12.000     4294967295 0 -2147483648 2147483647 ",
         "12.000,,,,,4294967295,0,-2147483648,2147483647,0,0"},
    };
    for (const text_case& each : cases) {
        const reading seen = read_log(each.row);
        EXPECT_EQ(seen.skipped, std::vector<std::string>{}) << each.row;
        EXPECT_EQ(seen.rows, std::vector<std::string>{each.cells}) << each.row;
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
    const reading seen = read_log(log + "\n");
    EXPECT_EQ(seen.rows, std::vector<std::string>{"99.000,,,,,,,,1,0,0"});
    ASSERT_EQ(seen.skipped.size(), not_rows.size());
    for (std::size_t i = 0; i < not_rows.size(); ++i) {
        const std::string& message = seen.skipped[i];
        EXPECT_TRUE(message.starts_with("unit.log:" + std::to_string(i + 3) + ": not a log row ("))
            << message;
        EXPECT_TRUE(message.ends_with(")")) << message;
    }
}

// ---- What a row says about the unit ----

constexpr std::array<int, 4> adc_readings{812, 2047, 1530, 2214};
constexpr std::array<long, 3> dds_words{1932735283, 2576980377, -1717986919};

// The queries that failed (adc, dds, tuning), then the replies noted
// "(CS bad!)" (dds, tuning).
using fault_flags = std::array<bool, logread::fault_count>;

// A row's faults, and whether it is complete, as the library reads its text.
std::pair<fault_flags, bool> facts_of(const row& written)
{
    const reading seen = read_log(text_of(written));
    EXPECT_EQ(seen.values.size(), 1u);
    const logread::row_values values = seen.values.empty() ? logread::row_values{} : seen.values.front();
    return {logread::faults_of(values), logread::complete(values)};
}

TEST(RowFacts, ACompleteRowNeedsAllThreeGroups)
{
    EXPECT_EQ(facts_of({0.5, adc_readings, dds_words, -1190}), std::pair(fault_flags{}, true));
    EXPECT_EQ(facts_of({0.5, std::nullopt, dds_words, -1190}), std::pair(fault_flags{1, 0, 0, 0, 0}, false));
    EXPECT_EQ(facts_of({0.5, adc_readings, std::nullopt, -1190}),
              std::pair(fault_flags{0, 1, 0, 0, 0}, false));
    EXPECT_EQ(facts_of({0.5, adc_readings, dds_words, std::nullopt}),
              std::pair(fault_flags{0, 0, 1, 0, 0}, false));
}

TEST(RowFacts, EachCsBadCountsForItsOwnGroup)
{
    // A reply noted "(CS bad!)" still answered: the row stays complete.
    EXPECT_EQ(facts_of({0.5, adc_readings, dds_words, -1190, true, false}),
              std::pair(fault_flags{0, 0, 0, 1, 0}, true));
    EXPECT_EQ(facts_of({0.5, adc_readings, dds_words, -1190, false, true}),
              std::pair(fault_flags{0, 0, 0, 0, 1}, true));
}

// A series' value in the metrics' text form, as Prometheus scrapes it.
std::string exposed(const prometheus::Registry& registry, const std::string& series)
{
    const std::string text = prometheus::TextSerializer().Serialize(registry.Collect());
    const std::size_t at = text.find("\n" + series + " ");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t begin = at + series.size() + 2;
    return text.substr(begin, text.find('\n', begin) - begin);
}

TEST(RowFacts, TheDdsWordsKeepTheirOrderInEveryConsumer)
{
    // Three different words, and rows half a second and then each second on
    // whose deltas give 101000 counts a second (the metrics' rate needs the
    // least-delayed readings of two whole seconds).
    const std::string log = header_lines + text_of({0.0, adc_readings, dds_words, -1190}) +
                            text_of({0.5, adc_readings, {{1932735283, 2577030877, 50500}}, -1189}) +
                            text_of({1.5, adc_readings, {{1932735283, 2577030877, 101000}}, -1189}) +
                            text_of({2.5, adc_readings, {{1932735283, 2577030877, 101000}}, -1189});
    const reading seen = read_log(log);
    ASSERT_EQ(seen.values.size(), 4u);
    const logread::dds_reading& words = *seen.values[1].dds;
    EXPECT_EQ(std::make_tuple(words.dds1, words.dds2, words.delta),
              std::make_tuple(1932735283u, 2577030877u, 50500));

    csv::log_converter converter("unit.log");
    converter.feed(log);
    converter.finish();
    EXPECT_NE(converter.take_csv().find(",1932735283,2577030877,50500,-1189,"), std::string::npos);

    prometheus::Registry registry;
    metrics::metric_families families(registry);
    metrics::log_metrics numbers(families, "unit.log");
    kept_runs runs;
    report::log_summary summary(runs);
    report::live_state live("unit.log");
    for (logread::log_events* consumer :
         std::initializer_list<logread::log_events*>{&numbers, &summary, &live}) {
        logread::line_reader reader(*consumer);
        reader.feed(log);
        reader.finish();
    }
    EXPECT_EQ(exposed(registry, "fslog_dds{log=\"unit\",word=\"1\"}"), "1932735283");
    EXPECT_EQ(exposed(registry, "fslog_dds{log=\"unit\",word=\"2\"}"), "2577030877");
    EXPECT_EQ(exposed(registry, "fslog_dds2_rate_counts_per_second{log=\"unit\"}"), "101000");
    summary.close();
    EXPECT_DOUBLE_EQ(*summary.total().dds2.rate(), 101000);
    const auto screen = report::live_view(live, logread::time_zone::local).screen(0);
    EXPECT_NE(std::find(screen.begin(), screen.end(), "dds 1 1932735283, dds 2 2577030877"), screen.end());
}

TEST(RowFacts, TheFiguresForAllRunsMergeRunsWithDifferentMeans)
{
    // Two runs whose rail readings lie far apart: the spread of all of them
    // is mostly the step between the runs.
    std::vector<double> all;
    std::string log;
    for (const int level : {800, 3000}) {
        log += (log.empty() ? "" : "\n") + header_lines;
        for (int i = 0; i < 50; ++i) {
            const int rail = level + (i * 7) % 13;
            all.push_back(rail);
            log += text_of({0.05 * i, {{rail, 2047, 1530, 2214}}, std::nullopt, std::nullopt});
        }
    }
    const double mean = std::accumulate(all.begin(), all.end(), 0.0) / static_cast<double>(all.size());
    double squares = 0;
    for (const double value : all) {
        squares += (value - mean) * (value - mean);
    }
    const double sd = std::sqrt(squares / static_cast<double>(all.size()));

    kept_runs runs;
    report::log_summary summary(runs);
    logread::line_reader reader(summary);
    reader.feed(log);
    reader.finish();
    summary.close();
    ASSERT_EQ(runs.runs.size(), 2u);
    logread::running_stats merged = runs.runs[0].series[logread::rail];
    merged.merge(runs.runs[1].series[logread::rail]);
    for (const logread::running_stats& figures : {summary.total().series[logread::rail], merged}) {
        EXPECT_EQ(figures.count(), all.size());
        EXPECT_DOUBLE_EQ(figures.mean(), mean);
        EXPECT_NEAR(figures.sd(), sd, 1e-9);
        EXPECT_EQ(figures.min(), 800);
        EXPECT_EQ(figures.max(), 3012);
    }
}

} // namespace
