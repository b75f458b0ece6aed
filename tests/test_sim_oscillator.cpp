// fslog-sim's oscillator against theory, and the log it emits read back.
#include "harness.hpp"
#include "logread/line_reader.hpp"
#include "logread/row_facts.hpp"
#include "stability/analysis.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;

const std::string fslog_sim = FSLOG_SIM_BIN;

// The lines of a --truth file after its header: "t y u temperature".
std::vector<std::string> truth_lines(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.starts_with('#')) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The first `count` values of y.
std::vector<double> frequency_of(const std::vector<std::string>& lines, std::size_t count)
{
    std::vector<double> y;
    for (std::size_t i = 0; i < count && i < lines.size(); ++i) {
        double t = 0;
        double value = 0;
        std::istringstream(lines[i]) >> t >> value;
        y.push_back(value);
    }
    return y;
}

harness::finished_run emit(const std::string& seconds, const std::string& truth, const std::string& faults)
{
    return harness::run_to_end({fslog_sim, "--emit-log", seconds, "--oscillator", "wfm=1e-11,rwfm=1e-13",
                                "--seed", "11", "--truth", truth, "--faults", faults},
                               60s);
}

TEST(SimOscillator, ADayOfWhiteAndRandomWalkFmHasTheTheorysAllanDeviation)
{
    constexpr double white = 1e-11;
    constexpr double walk = 1e-13;
    constexpr std::size_t day = 86400;
    harness::scratch_dir dir("sim_oscillator");
    const auto run = emit(std::to_string(day), dir / "day", "silence=0.001");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> lines = truth_lines(dir / "day");
    const stability::series data{stability::data_kind::frequency, 1.0, frequency_of(lines, day)};
    ASSERT_EQ(data.values.size(), day);
    const std::vector<std::size_t> factors{4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192};
    int within = 0;
    for (const stability::row& row : stability::analysis(data).rows(
             stability::deviation::oadev, factors, {.confidence = 0.9, .alpha = std::nullopt})) {
        const double theory = std::sqrt(white * white / row.tau + walk * walk * row.tau);
        within += row.sigma_min <= theory && theory <= row.sigma_max ? 1 : 0;
        EXPECT_NEAR(row.sigma / theory, 1.0, 0.5) << "tau " << row.tau;
    }
    EXPECT_GE(within, 10) << "of " << factors.size() << " taus within their 90 % bounds";

    // The same seed polled by a host that never stalls on a fault gives the same unit.
    const auto unhurt = emit("600", dir / "unhurt", "silence=0");
    ASSERT_EQ(unhurt.exit_code, 0) << unhurt.err;
    const std::vector<std::string> again = truth_lines(dir / "unhurt");
    ASSERT_GE(again.size(), 600u);
    EXPECT_TRUE(std::equal(again.begin(), again.begin() + 600, lines.begin()));
}

// Counts the rows a log holds, the complete ones, and the lines skipped.
struct row_counts : logread::log_events {
    std::size_t rows = 0;
    std::size_t complete = 0;
    std::size_t skipped = 0;
    void on_row(const logread::row_event& row) override
    {
        ++rows;
        complete += logread::complete(row.values) ? 1u : 0u;
    }
    void on_skipped(const logread::skipped_line& /*line*/) override { ++skipped; }
};

row_counts read_log(const std::string& text)
{
    row_counts counts;
    logread::line_reader reader(counts);
    reader.feed(text);
    reader.finish();
    return counts;
}

TEST(SimOscillator, TheEmittedLogReadsBackAtTheWiresPaceWithRowsCutOnlyByFaults)
{
    const auto clean = harness::run_to_end({fslog_sim, "--emit-log", "600", "--seed", "5"}, 30s);
    ASSERT_EQ(clean.exit_code, 0) << clean.err;
    const row_counts healthy = read_log(clean.out);
    EXPECT_EQ(healthy.skipped, 0u);
    EXPECT_EQ(healthy.complete, healthy.rows);
    // 49 byte times and the host's 1.5 ms a row: about 20 rows a second.
    EXPECT_NEAR(double(healthy.rows) / 600, 19.8, 0.3);

    const auto faulty = harness::run_to_end({fslog_sim, "--emit-log", "600", "--seed", "5", "--faults",
                                             "silence=0.002,payload=0.002,stray=0.002"},
                                            30s);
    ASSERT_EQ(faulty.exit_code, 0) << faulty.err;
    const row_counts hurt = read_log(faulty.out);
    EXPECT_EQ(hurt.skipped, 0u);
    EXPECT_LT(hurt.complete, hurt.rows);
    EXPECT_GT(hurt.complete, hurt.rows * 95 / 100);

    const auto full = harness::run_to_end({"sh", "-c", fslog_sim + " --emit-log 60 >/dev/full"}, 30s);
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_NE(full.err.find("cannot write the log"), std::string::npos) << full.err;
}

} // namespace
