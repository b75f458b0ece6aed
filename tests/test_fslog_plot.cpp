// fslog-plot: the log reduced to bins per pixel column, and drawn by gnuplot.
#include "harness.hpp"
#include "log_text.hpp"
#include "logread/line_reader.hpp"
#include "plot/gnuplot_script.hpp"
#include "plot/log_sampler.hpp"
#include "plot/options.hpp"
#include "plot/time_ticks.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using log_text::start_lines;
using log_text::text_of;

const std::string program = FSLOG_PLOT_BIN;

// PNG's CRC-32 (ISO 3309) over a chunk's type and data.
std::uint32_t png_crc(const std::uint8_t* bytes, std::size_t count)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
    }
    return crc ^ 0xFFFFFFFFu;
}

std::uint32_t big_endian_at(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

struct png_summary {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t image_data_bytes = 0; // all IDAT chunks together
};

// Walks the chunks from the signature to IEND, checking every CRC; fails
// the test on anything that is no well-formed PNG.
png_summary read_png(const std::vector<std::uint8_t>& file)
{
    png_summary summary;
    constexpr std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(file.size() > signature.size() &&
                std::equal(signature.begin(), signature.end(), file.begin()));
    std::size_t at = signature.size();
    std::string type;
    while (type != "IEND") {
        if (at + 12 > file.size()) {
            ADD_FAILURE() << "PNG ends before its IEND chunk";
            return summary;
        }
        const std::uint32_t length = big_endian_at(file, at);
        type.assign(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
        if (at + 12 + length > file.size()) {
            ADD_FAILURE() << "chunk " << type << " runs past the end of the file";
            return summary;
        }
        EXPECT_EQ(png_crc(&file[at + 4], 4 + length), big_endian_at(file, at + 8 + length)) << type;
        if (at == signature.size()) {
            EXPECT_EQ(type, "IHDR");
            EXPECT_EQ(length, 13u);
            summary.width = big_endian_at(file, at + 8);
            summary.height = big_endian_at(file, at + 12);
        }
        if (type == "IDAT") {
            summary.image_data_bytes += length;
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size());
    return summary;
}

// ---- The reduction ----

const std::string start_line = start_lines("Tue Dec  8 09:14:03 2026");
constexpr double start_time = 1796717643.0; // that start in Central European time

plot::binned reduce(const std::string& log, const plot::options& given, std::size_t columns)
{
    plot::log_sampler sampler(given, columns);
    logread::line_reader reader(sampler);
    reader.feed(log);
    reader.finish();
    return sampler.bins() ? sampler.bins()->finish() : plot::binned{};
}

plot::options window(const std::string& from, const std::string& to)
{
    plot::options given;
    given.from = plot::parse_time_point(from);
    given.to = plot::parse_time_point(to);
    return given;
}

TEST(Bins, HoldTheLowestHighestAndMeanReadingAndTheFaultsOfEachColumn)
{
    const std::string log =
        start_line + text_of({0.1, {{10, 20, 30, 40}}, {{1, 1000, 1000}}, 5}) + // first reading: no rate
        text_of({0.6, {{14, 22, 30, 44}}, {{1, 1500, 500}}, 7}) +               // 1000 counts/s
        text_of({2.2, {}, {{1, 3100, 1600}}, {}, true}) +                       // after a reset: carried on
        text_of({2.7, {{12, 20, 31, 40}}, {}, 9, false, true}) +                // DDS query failed
        text_of({3.0, {{16, 20, 31, 40}}, {{1, 4100, 1000}}, 1}) +              // 2600 counts in 2.4 s
        text_of({3.5, {{16, 20, 31, 40}}, {{1, 5100, 1000}}, -3}) +             // late: 1000 in 0.5 s
        text_of({4.0, {{16, 20, 31, 40}}, {{1, 5600, 500}}, -1});               // closes second 3
    plot::options given = window("0", "4");
    given.elapsed = true;
    const plot::binned reduced = reduce(log, given, 80);
    ASSERT_EQ(reduced.bins.size(), 4u); // no bin narrower than a second
    EXPECT_EQ(reduced.first, 0.0);
    EXPECT_EQ(reduced.width, 1.0);
    const auto& [first, empty, faulty, last] =
        std::tie(reduced.bins[0], reduced.bins[1], reduced.bins[2], reduced.bins[3]);

    EXPECT_EQ(first.rows, 2u);
    const logread::running_stats& rail = first.series[logread::rail];
    EXPECT_EQ(std::make_tuple(rail.count(), rail.min(), rail.max()), std::make_tuple(2u, 10.0, 14.0));
    EXPECT_EQ(rail.mean(), 12.0);
    EXPECT_EQ(first.series[logread::vcxo].mean(), 42.0);
    EXPECT_EQ(first.dds2.rate(), std::nullopt); // its second closes later
    EXPECT_EQ(first.series[logread::user_tuning].min(), 5.0);
    EXPECT_EQ(first.series[logread::user_tuning].max(), 7.0);
    EXPECT_EQ(first.faults, (std::array<std::uint32_t, logread::fault_count>{}));

    EXPECT_EQ(empty.rows, 0u); // a gap in every line

    EXPECT_EQ(faulty.rows, 2u);
    EXPECT_EQ(faulty.series[logread::rail].count(), 1u);
    EXPECT_EQ(faulty.dds2.rate(), std::nullopt);
    EXPECT_EQ(faulty.series[logread::user_tuning].mean(), 9.0);
    EXPECT_EQ(faulty.faults, (std::array<std::uint32_t, logread::fault_count>{1, 1, 1, 1, 1}));

    // The column's rate: the counts between the least-delayed readings of
    // seconds 0 and 3 (at 0.6 and 3.0 s) over their time, not the late one's.
    EXPECT_DOUBLE_EQ(*last.dds2.rate(), 2600.0 / 2.4);
    EXPECT_EQ(last.series[logread::user_tuning].mean(), -1.0);
}

TEST(Bins, ALongLogFoldsIntoTheColumnsAndKeepsItsExtremes)
{
    // A day at one row a second, with one outlier: the bins double their
    // width as the log grows, and no reading is lost on the way.
    std::string log = start_line;
    for (int second = 0; second < 86400; ++second) {
        log += text_of({static_cast<double>(second), {{second == 50000 ? 4000 : 800, 2047, 1530, 2214}}});
    }
    plot::options given;
    given.elapsed = true;
    const plot::binned reduced = reduce(log, given, 500);
    ASSERT_EQ(reduced.bins.size(), 500u);
    EXPECT_EQ(reduced.first, 0.0);
    EXPECT_NEAR(reduced.width * 500, 86399.0, 1e-6);
    logread::running_stats all;
    for (const plot::bin& each : reduced.bins) {
        all.merge(each.series[logread::rail]);
        EXPECT_GT(each.rows, 100u); // about 173 a column: none is left empty
    }
    EXPECT_EQ(all.count(), 86400u);
    EXPECT_EQ(all.max(), 4000.0);
    EXPECT_EQ(all.min(), 800.0);
}

class LocalTime : public ::testing::Test {
    harness::zone_guard zone_;
};

TEST_F(LocalTime, WindowEndsAreTimesOfDayOrSecondsFromTheFirstStart)
{
    std::string log = start_line;
    for (int second = 0; second < 10; ++second) {
        log += text_of({static_cast<double>(second), {{800, 2047, 1530, 2214}}});
    }
    const plot::binned reduced = reduce(log, window("2026-12-08T09:14:05", "6"), 100);
    EXPECT_EQ(reduced.first, start_time + 2);
    ASSERT_EQ(reduced.bins.size(), 4u);
    std::uint64_t rows = 0;
    for (const plot::bin& each : reduced.bins) {
        rows += each.rows;
    }
    EXPECT_EQ(rows, 5u); // seconds 2 to 6
    // Ends no calendar holds, whose ticks would never end, are no times.
    for (const char* beyond : {"1e16", "2026-02-30T09:14", "2026-12-08T09:14+99:99"}) {
        EXPECT_FALSE(plot::parse_time_point(beyond, logread::time_zone::local)) << beyond;
    }

    // From a time on, to the end: seconds 2 to 9 spread over 7 columns.
    const plot::binned from_on = reduce(log, window("2026-12-08T09:14:05", ""), 100);
    EXPECT_EQ(from_on.first, start_time + 2);
    ASSERT_EQ(from_on.bins.size(), 7u);
    rows = 0;
    for (const plot::bin& each : from_on.bins) {
        EXPECT_GT(each.rows, 0u);
        rows += each.rows;
    }
    EXPECT_EQ(rows, 8u);

    // Seconds since the start show one run: a restart's rows are left out.
    plot::options one_run;
    one_run.elapsed = true;
    plot::log_sampler elapsed(one_run, 100);
    logread::line_reader restarted(elapsed);
    restarted.feed(log + "\n" + log);
    restarted.finish();
    EXPECT_EQ(elapsed.rows_read(), 20u);
    EXPECT_EQ(elapsed.rows_off_axis(), 10u);

    // Without a start line the rows have no time of day: the axis shows
    // elapsed seconds, and a time of day can't be placed on it.
    const std::string rotated = log.substr(start_line.size());
    plot::log_sampler sampler(window("2026-12-08T09:14:05", "6"), 100);
    logread::line_reader reader(sampler);
    reader.feed(rotated);
    EXPECT_EQ(sampler.axis(), plot::time_axis::elapsed);
    EXPECT_TRUE(sampler.elapsed_for_want_of_start());
    EXPECT_EQ(sampler.problem(),
              "2026-12-08T09:14:05 is a time of day, and the log holds no start line to place it by");
}

// Europe/Berlin's autumn change of 2026: at 03:00 CEST the clocks went back
// to 02:00 CET.
TEST(TimeAxis, FourHoursAcrossTheAutumnChangeTakeFourHoursAndTheLabelsShowIt)
{
    const harness::zone_guard central_european_time;
    std::string log = start_lines("Sun Oct 25 01:00:00 2026");
    for (int second = 0; second <= 4 * 3600; second += 10) {
        log += text_of({static_cast<double>(second), {{800, 2047, 1530, 2214}}});
    }
    plot::figure drawing;
    drawing.bins = reduce(log, plot::options{}, 100);
    drawing.width = 1000;
    constexpr double start = 1792882800; // 01:00 CEST
    EXPECT_EQ(drawing.bins.first, start);
    // The axis runs in seconds from its start, the ticks labelled with the
    // clock's readings: no hour is drawn twice or hidden.
    const std::string script = plot::gnuplot_script(drawing);
    EXPECT_NE(script.find("set xrange [0:14400]"), std::string::npos) << script;
    EXPECT_NE(
        script.find(
            R"(set xtics ("01:00 CEST" 0, "02:00" 3600, "02:00 CET" 7200, "03:00" 10800, "04:00" 14400))"),
        std::string::npos);

    const auto labels = [&](logread::time_zone zone) {
        std::vector<std::string> texts;
        for (const plot::tick& each : plot::time_ticks(start, start + 4 * 3600, zone, 7)) {
            texts.push_back(each.label);
        }
        return texts;
    };
    EXPECT_EQ(labels(logread::time_zone::utc),
              (std::vector<std::string>{"23:00", "00:00", "01:00", "02:00", "03:00"}));

    // A window end in the repeated hour is told apart by its offset, as
    // fslog-csv writes it.
    EXPECT_EQ(plot::parse_time_point("2026-10-25T02:30:00.500+02:00")->seconds, start + 5400.5);
    EXPECT_EQ(plot::parse_time_point("2026-10-25T02:30:00.500+01:00")->seconds, start + 9000.5);
    EXPECT_EQ(plot::parse_time_point("2026-10-25 01:30", logread::time_zone::utc)->seconds, start + 9000);
}

TEST(Picture, ShowsRestartsTheTimeBetweenRunsCounterJumpsPausesAndTheShareOfFaults)
{
    // Run 1: 60 s of rows, four a second, DDS 2 at 1000 a second; at 20 s
    // the counter starts afresh (a replugged unit), and every fourth row
    // from 40 s loses its ADC query. Run 2 starts 100 s after run 1's start,
    // and fslog stops in it for 10 s at 30 s, the counter going on.
    const auto run = [](bool replug) {
        std::string text;
        long shown = 0;
        for (int step = 0; step < 240; ++step) {
            const int paused = !replug && step >= 120 ? 10 : 0;
            const long dds2 = replug && step >= 80 ? 250L * (step - 80) : 250L * step + 1000L * paused;
            const bool adc = !replug || step < 160 || step % 4 != 0;
            text += text_of({0.25 * step + paused,
                             adc ? std::optional(std::array{812, 2047, 1530, 2214}) : std::nullopt,
                             {{1, dds2, dds2 - shown}},
                             5});
            shown = dds2;
        }
        return text;
    };
    const std::string log =
        start_line + run(true) + "\n" + start_lines("Tue Dec  8 09:15:43 2026") + run(false);
    plot::figure drawing;
    drawing.bins = reduce(log, window("2026-12-08T09:14:03", "2026-12-08T09:16:43"), 200); // 1 s a column
    drawing.width = 1000;
    drawing.height = 1200;
    const std::string script = plot::gnuplot_script(drawing);
    // Run 1 ends at 59.75 s, run 2 begins at 100 s: shaded between, dashed at the restart.
    EXPECT_NE(script.find("set object 1 rect from first 59.75, graph 0 to first 100, graph 1"),
              std::string::npos)
        << script;
    EXPECT_NE(script.find("set arrow 1 from first 100, graph 0 to first 100, graph 1 nohead"),
              std::string::npos);
    // The counter's jump is marked, not drawn as a rate: the rate stays 1000. It is
    // marked where the readings after it, 2 s on, tell it from a change of rate.
    const std::size_t jumps = script.find("$jumps << EOD\n");
    ASSERT_NE(jumps, std::string::npos);
    EXPECT_EQ(script.substr(jumps + 14, script.find("EOD", jumps + 14) - jumps - 14), "22.5\n");
    const std::size_t rates = script.find("$s4 << EOD\n");
    std::istringstream rate_rows(script.substr(rates + 11, script.find("EOD", rates + 11) - rates - 11));
    std::size_t columns = 0;
    for (std::string row; std::getline(rate_rows, row);) {
        if (!row.empty()) {
            EXPECT_TRUE(row.ends_with(" 1000 1000 1000")) << row;
            ++columns;
        }
    }
    EXPECT_GT(columns, 100u);
    // The pause: a full bar on the strip's last row where fslog went on.
    EXPECT_NE(script.find("$pauses << EOD\n140.5 5 0.5 0.4\nEOD"), std::string::npos);
    // A quarter of the rows lost their ADC query: a bar of a quarter's height.
    EXPECT_NE(script.find(" 0 0.5 0.1\n"), std::string::npos);
    // The ADC channels, flat, tick at whole counts.
    EXPECT_NE(script.find("set ytics 1\n"), std::string::npos);
}

// ---- The program ----

class PlotProgram : public ::testing::Test {
protected:
    const harness::scratch_dir dir{"fslog-plot"};
    const std::string log = dir / "unit.log";
    const std::string png = dir / "unit.png";
};

TEST_F(PlotProgram, DrawsAValidNonEmptyPngFromALogWithGaps)
{
    std::ofstream(log)
        << start_line
        << "\n         0.013        812    2047    1530    2214  1932735283 2576980377 -1717986919 -1190 "
           "\n         0.062        813    2046    1530    2215  1932735283 2576985427 5050 -1189 "
           "\n         6.104        812    2047    1531    2214  -1189 "
           "\n        12.157     (CS bad!) 1932735283 2576995538 10111 -1188 "
           "\n        12.201        811    2048    1531    2214  1932735283 2577000590 5052 -1188 ";
    const harness::finished_run run = harness::run_to_end({program, "--size", "900x780", log, png}, 30s);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::ifstream file(png, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    const png_summary summary = read_png(bytes);
    EXPECT_EQ(summary.width, 900u);
    EXPECT_EQ(summary.height, 780u);
    // Axes, labels and lines on three panels compress to far more than a
    // blank picture of that size would.
    EXPECT_GT(summary.image_data_bytes, 10000u);
}

TEST_F(PlotProgram, ImpossibleRowsAreSkippedAndOverlappingFilesRefused)
{
    // A row 1e20 s into the run would put the axis beyond any calendar.
    std::ofstream(log) << start_line << text_of({0.5, {{812, 2047, 1530, 2214}}})
                       << "\n     99999999999999999999.000     5 "
                       << text_of({1.5, {{812, 2047, 1530, 2214}}});
    const harness::finished_run drawn = harness::run_to_end({program, log, png}, 30s);
    EXPECT_EQ(drawn.exit_code, 0) << drawn.err;
    EXPECT_EQ(drawn.err,
              "fslog-plot: " + log + ":4: not a log row (the elapsed time is beyond 1e9 s), skipped\n");

    // Another unit's log, begun before this one ended.
    std::ofstream(dir / "other.log") << start_lines("Tue Dec  8 09:14:00 2026")
                                     << text_of({0.5, {{812, 2047, 1530, 2214}}});
    const harness::finished_run both = harness::run_to_end({program, log, dir / "other.log", png}, 30s);
    EXPECT_EQ(both.exit_code, 2);
    EXPECT_NE(both.err.find(dir / "other.log" + " and " + log + " overlap"), std::string::npos) << both.err;
}

TEST_F(PlotProgram, LogWithoutRowsOrArgumentsDrawsNothing)
{
    std::ofstream(log) << start_line;
    const harness::finished_run empty = harness::run_to_end({program, log, png}, 30s);
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_EQ(empty.err, "fslog-plot: " + log + " holds no log rows\n");
    EXPECT_FALSE(std::filesystem::exists(png));

    const harness::finished_run usage = harness::run_to_end({program, log}, 30s);
    EXPECT_EQ(usage.exit_code, 2);
    EXPECT_EQ(usage.err,
              "fslog-plot: give at least one LOG and the OUT picture\n" + std::string(plot::program.usage));
}

std::vector<std::uint8_t> file_bytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST_F(PlotProgram, SparseLogsDrawWithEachEmptyPanelSayingSo)
{
    // One row only; and rows whose tuning query never succeeded, with one
    // DDS reading (no rate) and no ADC group at all.
    const std::vector<std::string> logs = {
        start_line + text_of({0.5, {{812, 2047, 1530, 2214}}, {{1, 2, 3}}, -1190}),
        start_line + text_of({0.5, {}, {{1, 2, 3}}}) + text_of({1.5}) + text_of({9.5}),
    };
    for (const std::string& text : logs) {
        std::ofstream(log) << text;
        const harness::finished_run run = harness::run_to_end({program, log, png}, 30s);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const png_summary summary = read_png(file_bytes(png));
        EXPECT_EQ(summary.width, 1000u);
        EXPECT_EQ(summary.height, 1200u);
    }
    plot::options given;
    given.elapsed = true;
    plot::figure drawing;
    drawing.bins = reduce(logs[1], given, 100);
    drawing.axis = plot::time_axis::elapsed;
    const std::string script = plot::gnuplot_script(drawing);
    for (const char* note :
         {"no rail? readings", "no vcxo readings", "no DDS 2 rate", "no user tuning readings"}) {
        EXPECT_NE(script.find(note), std::string::npos) << note;
    }
    EXPECT_EQ(script.find("no failed queries"), std::string::npos); // the fault strip has marks
}

TEST_F(PlotProgram, DrawsSvgAndTellsWhenTheLogHoldsNoTimeOfDay)
{
    // Rotated in mid-run, and read in two pieces as one log, the second gzip.
    std::ofstream(log) << text_of({86400.5, {{812, 2047, 1530, 2214}}, {{1, 2, 3}}, -1190});
    std::ofstream(dir / "next.log") << text_of(
        {86401.5, {{813, 2047, 1530, 2214}}, {{1, 5002, 5000}}, -1189});
    ASSERT_EQ(harness::run_to_end({"/bin/sh", "-c", "gzip " + dir / "next.log"}, 10s).exit_code, 0);
    const std::string svg = dir / "unit.svg";
    const harness::finished_run run =
        harness::run_to_end({program, "--size", "640x900", log, dir / "next.log.gz", svg}, 30s);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err,
              "fslog-plot: no start line before the first row: the time of day is unknown, so the axis "
              "shows seconds since the run's start\n");
    const std::vector<std::uint8_t> bytes = file_bytes(svg);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(text.starts_with("<?xml")) << text.substr(0, 100);
    EXPECT_NE(text.find("<svg"), std::string::npos);
    EXPECT_NE(text.find("width=\"640\" height=\"900\""), std::string::npos);
    // The root closes after everything drawn (gnuplot writes the file whole).
    EXPECT_EQ(text.find_first_not_of(" \n", text.rfind("</svg>") + 6), std::string::npos);

    const harness::finished_run placed =
        harness::run_to_end({program, "--from", "2026-12-08 09:00", log, svg + ".png"}, 30s);
    EXPECT_EQ(placed.exit_code, 1);
    EXPECT_EQ(placed.err, "fslog-plot: 2026-12-08 09:00 is a time of day, and the log holds no start line to "
                          "place it by\n");
}

} // namespace
