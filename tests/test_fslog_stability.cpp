// fslog-stability: rows become evenly spaced data without blending the
// unit's updates, and the command line's text, JSON and export agree.
#include "harness.hpp"
#include "log_text.hpp"
#include "stability/analysis.hpp"
#include "stability_tool/reading_bins.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

using namespace std::chrono_literals;

namespace {

constexpr double update_phase = 0.5;     // the unit's updates fall mid-way through the host's seconds
constexpr double unit_second = 1 + 2e-5; // and drift against them by 20 ppm
constexpr double word_sigma = 20;        // white FM, in counts of the tuning word

std::string ctime_text(std::time_t at)
{
    std::tm parts{};
    localtime_r(&at, &parts);
    char text[64] = {};
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &parts);
    return text;
}

// A run of `seconds` of rows every 50 to 60 ms whose tuning word takes a
// new value of white FM once a unit second; every `reset_every` seconds an
// ADC query fails and the line is reset for 6 s. Appends the words the
// unit held to `words`.
std::string run_of(std::time_t start, double seconds, double reset_every, std::mt19937& random,
                   std::vector<double>& words)
{
    std::normal_distribution<double> noise(0, word_sigma);
    std::uniform_real_distribution<double> spacing(0.05, 0.06);
    std::string text = log_text::start_lines(ctime_text(start));
    double next_reset = reset_every;
    std::size_t update = 0;
    double elapsed = 0;
    while (elapsed < seconds) {
        while (update_phase + static_cast<double>(update) * unit_second <= elapsed || words.empty()) {
            words.push_back(std::round(noise(random)));
            ++update;
        }
        log_text::row row{elapsed, std::array{812, 2047, 1530, 2214},
                          std::array<long, 3>{1932735283L, 0L, 0L}, static_cast<long>(words.back())};
        if (elapsed >= next_reset) {
            row.adc.reset();
            next_reset += reset_every;
            elapsed += 6;
        }
        text += log_text::text_of(row);
        elapsed += spacing(random);
    }
    return text;
}

double sample_adev(const std::vector<double>& y)
{
    double sum = 0;
    for (std::size_t k = 0; k + 1 < y.size(); ++k) {
        sum += (y[k + 1] - y[k]) * (y[k + 1] - y[k]);
    }
    return std::sqrt(sum / (2 * static_cast<double>(y.size() - 1)));
}

double read_sigma(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string af;
        double tau = 0, min = 0, sigma = 0;
        long n = 0;
        int alpha = 0;
        if (fields >> af >> tau >> n >> alpha >> min >> sigma && af == "1") {
            return sigma;
        }
    }
    return NAN;
}

nlohmann::json run_json(const std::vector<std::string>& argv)
{
    const auto run = harness::run_to_end(argv, 60s);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return nlohmann::json::parse(run.out);
}

} // namespace

// Rows every 50 ms, the unit's updates half-way through the host's
// seconds: a bin of the host's second would average two updates and pull
// ADEV(1 s) down by a fair part; bins on the updates give the unit's own.
TEST(StabilityBins, TuningBinsFollowTheUnitsUpdatesWithoutBlendingThem)
{
    harness::zone_guard zone;
    std::mt19937 random(3);
    std::vector<double> words;
    const std::string log = run_of(1796000000, 7200, 1e9, random, words);

    stability_tool::reading_bins bins(stability_tool::row_series::tuning, 1, 1, false);
    logread::line_reader reader(bins);
    reader.feed(log);
    reader.finish();
    const stability_tool::even_series binned = bins.finish();
    const std::size_t factor = 1;
    const auto rows =
        stability::analysis(binned.data).rows(stability::deviation::adev, std::span(&factor, 1));

    ASSERT_EQ(rows.size(), 1U);
    EXPECT_NEAR(rows[0].sigma / sample_adev(words), 1, 0.03);
    EXPECT_GT(rows[0].n, 7000U);
}

// Two runs with resets: text and JSON agree, the gaps are counted, and the
// series exported for allantools gives the same deviations read back.
TEST(StabilityProgram, TextJsonAndExportAgree)
{
    harness::zone_guard zone;
    harness::scratch_dir dir("stability-program");
    std::mt19937 random(5);
    std::vector<double> words;
    {
        std::ofstream log(dir / "unit.log");
        log << run_of(1796000000, 3000, 500, random, words) << "\n"
            << run_of(1796000000 + 3100, 3000, 700, random, words);
    }
    const std::string bin = FSLOG_STABILITY_BIN;
    const nlohmann::json json = run_json({bin, "--json", "--kind", "oadev,totdev", "--export",
                                          "allantools:" + (dir / "tuning.txt"), dir / "unit.log"});
    const auto text = harness::run_to_end({bin, "--kind", "oadev,totdev", dir / "unit.log"}, 60s);
    ASSERT_EQ(text.exit_code, 0);
    EXPECT_NEAR(read_sigma(text.out) / json["kinds"]["oadev"][0]["sigma"].get<double>(), 1, 1e-4);

    // 100 s between the runs, 6 s after each of the 9 resets.
    const std::size_t gaps = json["gaps"];
    EXPECT_GE(gaps, 95U + 9 * 5);
    EXPECT_LE(gaps, 101U + 9 * 7);
    std::ifstream exported(dir / "tuning.txt");
    std::string line;
    std::size_t nans = 0;
    while (std::getline(exported, line)) {
        nans += line == "nan" ? 1U : 0U;
    }
    EXPECT_EQ(nans, gaps);

    const nlohmann::json back =
        run_json({bin, "--json", "--kind", "oadev,totdev", "--frequency", dir / "tuning.txt"});
    EXPECT_EQ(back["points"], json["points"]);
    for (const char* kind : {"oadev", "totdev"}) {
        ASSERT_EQ(back["kinds"][kind].size(), json["kinds"][kind].size());
        for (std::size_t row = 0; row < json["kinds"][kind].size(); ++row) {
            EXPECT_EQ(back["kinds"][kind][row]["n"], json["kinds"][kind][row]["n"]);
            EXPECT_NEAR(back["kinds"][kind][row]["sigma"].get<double>() /
                            json["kinds"][kind][row]["sigma"].get<double>(),
                        1, 1e-12);
        }
    }
}

// DDS 2 counting 100000 a second, read 20 ms after each row's time: two
// rows in a row whose readings came 0.6 s late alike (a host slow twice)
// are no jump; the counter's step of 150000 counts later is one.
TEST(StabilityProgram, DdsTwoReadingsLateAlikeAreNoJumpOfTheCounter)
{
    harness::zone_guard zone;
    harness::scratch_dir dir("stability-dds2");
    std::string log = log_text::start_lines(ctime_text(1796000000));
    long shown = 0;
    for (int row = 0; row < 6000; ++row) {
        const double elapsed = row * 0.05;
        const double late = row == 2000 || row == 2001 ? 0.6 : 0.02;
        const long dds2 = std::lround((elapsed + late) * 100000) + (row >= 4000 ? 150000 : 0);
        log += log_text::text_of({elapsed, std::array{812, 2047, 1530, 2214},
                                  std::array<long, 3>{1932735283L, dds2, dds2 - shown}, -1190});
        shown = dds2;
    }
    std::ofstream(dir / "unit.log") << log;
    const nlohmann::json json =
        run_json({FSLOG_STABILITY_BIN, "--json", "--series", "dds2", dir / "unit.log"});
    EXPECT_EQ(json["segments"], 2);
}
