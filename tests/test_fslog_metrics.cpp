// fslog-metrics on its own: where it can't listen, and counters that go on
// through a rotation of the log.
#include "harness.hpp"
#include "log_text.hpp"
#include "loopback.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using log_text::row;
using log_text::start_lines;
using log_text::text_of;

const std::string metrics_bin = FSLOG_METRICS_BIN;

// The exposition once it answers at all, or empty after 10 s.
std::string first_scrape(int port)
{
    httplib::Client client("127.0.0.1", port);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const auto response = client.Get("/metrics")) {
            return response->body;
        }
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

TEST(FslogMetrics, SaysWhyItCannotListenAndExitsWithStatus2)
{
    harness::scratch_dir dir("metrics-listen");
    const std::string in_use = "127.0.0.1:" + std::to_string(free_loopback_port());
    harness::child_process first({metrics_bin, "--listen", in_use, dir / "unit.log"});
    ASSERT_FALSE(first_scrape(std::stoi(in_use.substr(in_use.find(':') + 1))).empty()) << first.err();

    for (const auto& [listen, message] : std::vector<std::pair<std::string, std::string>>{
             {in_use, "fslog-metrics: can't listen on " + in_use + ": Address already in use\n"},
             {"nohost.invalid:9929", "fslog-metrics: can't listen on nohost.invalid:9929: "},
             {"127.0.0.1", "fslog-metrics: bad --listen address 127.0.0.1 (expected ADDR:PORT"},
             {"127.0.0.1:65536", "fslog-metrics: bad --listen address 127.0.0.1:65536 "},
             {"::1:9929", "fslog-metrics: bad --listen address ::1:9929 "}}) {
        const auto run = harness::run_to_end({metrics_bin, "--listen", listen, dir / "other.log"}, 10s);
        EXPECT_EQ(run.exit_code, 2) << listen;
        EXPECT_TRUE(run.err.starts_with(message)) << run.err;
    }
}

// The value of one sample line ("NAME{LABELS} VALUE") in the exposition.
std::optional<std::string> sample(const std::string& exposition, const std::string& series)
{
    const std::size_t at = exposition.find("\n" + series + " ");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t begin = at + series.size() + 2;
    return exposition.substr(begin, exposition.find('\n', begin) - begin);
}

TEST(FslogMetrics, CountersGoOnThroughRotationByCopyAndByRename)
{
    harness::scratch_dir dir("metrics-rotation");
    const std::string log = dir / "unit.log";
    const row good{0.5, {{812, 2047, 1530, 2214}}, {{1932735283, 5000, 5000}}, -1190};
    std::ofstream(log) << start_lines("Tue Dec  8 09:14:03 2026") << text_of(good)
                       << text_of(row{6.5, std::nullopt, {{1932735283, 10000, 5000}}, -1189});
    const int port = free_loopback_port();
    harness::child_process metrics({metrics_bin, "--listen", "127.0.0.1:" + std::to_string(port), log});
    httplib::Client client("127.0.0.1", port);
    const auto becomes = [&](const std::string& series, const std::string& value) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        std::string body;
        while (std::chrono::steady_clock::now() < deadline) {
            if (const auto response = client.Get("/metrics")) {
                body = response->body;
                if (sample(body, series) == value) {
                    break;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        return body;
    };
    const auto rows_become = [&](const std::string& count) {
        return becomes("fslog_rows_total{log=\"unit\"}", count);
    };
    std::string exposition = rows_become("2");
    EXPECT_EQ(sample(exposition, "fslog_rows_total{log=\"unit\"}"), "2") << exposition << metrics.err();
    EXPECT_EQ(sample(exposition, "fslog_query_failures_total{log=\"unit\",query=\"adc\"}"), "1");
    // The last row has no line end, and still counts as soon as it is there.
    EXPECT_EQ(sample(exposition, "fslog_user_tuning{log=\"unit\"}"), "-1189");
    EXPECT_EQ(sample(exposition, "fslog_log_info{log=\"unit\",path=\"" + log + "\"}"), "1");

    std::filesystem::copy_file(log, dir / "unit.log.1");
    std::filesystem::resize_file(log, 0);
    std::ofstream(log, std::ios::app) << text_of(row{7, {{813, 2047, 1530, 2216}}, std::nullopt, -1188});
    exposition = rows_become("3");
    EXPECT_EQ(sample(exposition, "fslog_rows_total{log=\"unit\"}"), "3");
    EXPECT_EQ(sample(exposition, "fslog_adc{channel=\"vcxo\",log=\"unit\"}"), "2216");

    // Moved away, and reopened by fslog; then it was started twice on a port
    // it could not open, and once without one.
    std::filesystem::rename(log, dir / "unit.log.2");
    std::ofstream(log)
        << "# Continued: logging started at Tue Dec  8 09:14:03 2026" << text_of(good)
        << "\nCouldn't open port /dev/ttyUSB0\n\nCouldn't open port /dev/ttyUSB0\n\nUsage: fslog comport\n";
    exposition = becomes("fslog_port_open_failures_total{log=\"unit\"}", "2");
    EXPECT_EQ(sample(exposition, "fslog_port_open_failures_total{log=\"unit\"}"), "2");
    EXPECT_EQ(sample(exposition, "fslog_rows_total{log=\"unit\"}"), "4");
    EXPECT_EQ(sample(exposition, "fslog_query_failures_total{log=\"unit\",query=\"adc\"}"), "1");
    EXPECT_EQ(sample(exposition, "fslog_query_failures_total{log=\"unit\",query=\"dds\"}"), "1");

    kill(metrics.pid(), SIGTERM);
    EXPECT_TRUE(harness::exited_with(metrics.wait(5s), 0));
}

// What a client may send is capped: header lines, their size, and no body.
TEST(FslogMetrics, TurnsAwayRequestsNoScrapeNeeds)
{
    harness::scratch_dir dir("metrics-caps");
    const int port = free_loopback_port();
    harness::child_process metrics(
        {metrics_bin, "--listen", "127.0.0.1:" + std::to_string(port), dir / "unit.log"});
    ASSERT_FALSE(first_scrape(port).empty()) << metrics.err();
    httplib::Client client("127.0.0.1", port);
    httplib::Headers many;
    for (int header = 0; header < 150; ++header) {
        many.emplace("X-Line-" + std::to_string(header), "1");
    }
    const auto too_many = client.Get("/metrics", many);
    ASSERT_TRUE(too_many);
    EXPECT_EQ(too_many->status, 431);
    const auto too_large = client.Get("/metrics", {{"X-Large", std::string(20000, 'a')}});
    ASSERT_TRUE(too_large);
    EXPECT_EQ(too_large->status, 431);
    const auto with_body = client.Post("/metrics", "a body", "text/plain");
    ASSERT_TRUE(with_body);
    EXPECT_EQ(with_body->status, 400);
    const auto scrape = client.Get("/metrics");
    ASSERT_TRUE(scrape);
    EXPECT_EQ(scrape->status, 200);
}

// A log path that names a FIFO nobody writes to: opening it for reading
// would wait for ever. It is not opened, said once, shown as unreadable,
// and SIGTERM still ends the program.
TEST(FslogMetrics, ShowsALogItCannotReadAndStopsWhateverTheLogIs)
{
    harness::scratch_dir dir("metrics-fifo");
    const std::string fifo = dir / "fifo.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(dir / "unit.log") << start_lines("Tue Dec  8 09:14:03 2026") << "\nno row here"
                                    << text_of(row{0.5, {{812, 2047, 1530, 2214}}, std::nullopt, -1190});
    const int port = free_loopback_port();
    harness::child_process metrics(
        {metrics_bin, "--listen", "127.0.0.1:" + std::to_string(port), fifo, dir / "unit.log"});
    std::string exposition;
    for (int scrape = 0; scrape < 100 && sample(exposition, "fslog_rows_total{log=\"unit\"}") != "1";
         ++scrape) {
        std::this_thread::sleep_for(100ms);
        exposition = first_scrape(port);
    }
    EXPECT_EQ(sample(exposition, "fslog_log_readable{log=\"fifo\"}"), "0") << exposition;
    EXPECT_EQ(sample(exposition, "fslog_log_readable{log=\"unit\"}"), "1");
    EXPECT_EQ(sample(exposition, "fslog_skipped_lines_total{log=\"unit\"}"), "1");
    // No complete row yet: the time following began stands in for one.
    EXPECT_TRUE(sample(exposition, "fslog_last_complete_row_timestamp_seconds{log=\"fifo\"}"));

    metrics.signal(SIGTERM);
    EXPECT_TRUE(harness::exited_with(metrics.wait(5s), 0));
    EXPECT_EQ(metrics.err(), "fslog-metrics: can't read " + fifo + ": not a regular file\n");
}

} // namespace
