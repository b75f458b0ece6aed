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
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using log_text::row;
using log_text::start_lines;
using log_text::text_of;

const std::string metrics_bin = FSLOG_METRICS_BIN;

TEST(FslogMetrics, SaysWhyItCannotListenAndExitsWithStatus2)
{
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    socklen_t length = sizeof address;
    getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string in_use = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    for (const auto& [listen, message] : std::vector<std::pair<std::string, std::string>>{
             {in_use, "fslog-metrics: can't listen on " + in_use + ": Address already in use\n"},
             {"nohost.invalid:9929", "fslog-metrics: can't listen on nohost.invalid:9929: "},
             {"127.0.0.1", "fslog-metrics: bad --listen address 127.0.0.1 (expected ADDR:PORT"},
             {"127.0.0.1:65536", "fslog-metrics: bad --listen address 127.0.0.1:65536 "},
             {"::1:9929", "fslog-metrics: bad --listen address ::1:9929 "}}) {
        const auto run = harness::run_to_end({metrics_bin, "--listen", listen, "unit.log"}, 10s);
        EXPECT_EQ(run.exit_code, 2) << listen;
        EXPECT_TRUE(run.err.starts_with(message)) << run.err;
    }
    close(taken);
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

} // namespace
