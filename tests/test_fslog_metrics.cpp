// fslog-metrics on its own: where it can't listen, counters that go on
// through a rotation of the log, and what it serves to whom.
#include "harness.hpp"
#include "log_text.hpp"
#include "loopback.hpp"
#include "metrics/listen_address.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <array>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netdb.h>
#include <poll.h>
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

// A connection from 127.0.0.1 to the port, whose reads wait at most 5 s.
int connect_to(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

// What comes back to a request on the connection: the first read's worth,
// or with MSG_WAITALL all of it until the connection ends (or 5 s).
std::string ask(int fd, const std::string& request, int flags)
{
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer(65536, '\0');
    answer.resize(
        static_cast<std::size_t>(std::max<ssize_t>(0, recv(fd, answer.data(), answer.size(), flags))));
    return answer;
}

TEST(FslogMetrics, SaysWhyItCannotStartAndExitsWithStatus2)
{
    harness::scratch_dir dir("metrics-listen");
    const std::string in_use = "127.0.0.1:" + std::to_string(free_loopback_port());
    harness::child_process first({metrics_bin, "--listen", in_use, dir / "unit.log"});
    ASSERT_FALSE(first_scrape(std::stoi(in_use.substr(in_use.find(':') + 1))).empty()) << first.err();

    // An empty log path, and a relative one once the working folder is gone.
    const std::vector<std::string> empty_path{metrics_bin, ""};
    const std::vector<std::string> folder_gone{
        "/bin/sh", "-c", "cd \"$0\" && rmdir \"$0\" && exec \"$1\" unit.log", dir / "gone", metrics_bin};
    std::filesystem::create_directory(dir / "gone");
    const auto other = [&](const std::string& listen) {
        return std::vector<std::string>{metrics_bin, "--listen", listen, dir / "other.log"};
    };
    for (const auto& [argv, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {other(in_use), "fslog-metrics: can't listen on " + in_use + ": Address already in use\n"},
             {other("nohost.invalid:9929"), "fslog-metrics: can't listen on nohost.invalid:9929: "},
             {other("127.0.0.1"), "fslog-metrics: bad --listen address 127.0.0.1 (expected ADDR:PORT"},
             {other("127.0.0.1:65536"), "fslog-metrics: bad --listen address 127.0.0.1:65536 "},
             {other("127.0.0.1:0"), "fslog-metrics: bad --listen address 127.0.0.1:0 "},
             {other("::1:9929"), "fslog-metrics: bad --listen address ::1:9929 "},
             {empty_path, "fslog-metrics: can't use the log path \"\": "},
             {folder_gone, "fslog-metrics: can't use the log path \"unit.log\": "}}) {
        const auto run = harness::run_to_end(argv, 10s);
        EXPECT_EQ(run.exit_code, 2) << argv.back();
        EXPECT_TRUE(run.err.starts_with(message)) << run.err;
    }
}

// A host with two addresses whose port is taken on the first: the second
// must not stand in for it.
TEST(FslogMetrics, APortTakenOnTheHostsFirstAddressIsNotServedOnTheNext)
{
    const std::string port = std::to_string(free_loopback_port());
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* first = nullptr;
    addrinfo* second = nullptr;
    ASSERT_EQ(getaddrinfo("127.0.0.1", port.c_str(), &hints, &first), 0);
    ASSERT_EQ(getaddrinfo("127.0.0.2", port.c_str(), &hints, &second), 0);
    first->ai_next = second;
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(bind(taken, first->ai_addr, first->ai_addrlen) | listen(taken, 1), 0);
    const metrics::listener bound = metrics::listen_on_first(first);
    EXPECT_EQ(bound.problem, std::strerror(EADDRINUSE));
    close(bound.fd); // -1 unless the second address stood in
    close(taken);
    freeaddrinfo(first);
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

// What a client may send is capped: header lines, their size, no body,
// GET and HEAD only, and the time until its answer is taken.
TEST(FslogMetrics, TurnsAwayRequestsNoScrapeNeedsAndClientsThatOverstay)
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

    // Another method, a chunked body, and a length given twice: one answer
    // each, and the connection closed.
    for (const auto& [request, status] : std::vector<std::pair<std::string, std::string>>{
             {"DELETE /metrics HTTP/1.1\r\nHost: t\r\n\r\n", "405"},
             {"GET /metrics HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
              "400"},
             {"GET /metrics HTTP/1.1\r\nHost: t\r\nContent-Length: 0\r\nContent-Length: 5\r\n\r\nhello",
              "400"}}) {
        const int fd = connect_to(port);
        const std::string answer = ask(fd, request, MSG_WAITALL);
        close(fd);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 " + status + " ")) << request << answer;
        EXPECT_EQ(answer.find("HTTP/1.1 ", 1), std::string::npos) << request << answer;
    }

    // A request's deadline runs until its answer is taken: a client that
    // piles up requests and reads no answer is cut, while a kept-alive
    // connection that asks and reads all along is served past one deadline.
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: t\r\n\r\n";
    std::string piled;
    for (int count = 0; count < 3000; ++count) {
        piled += request;
    }
    const int pipeline = connect_to(port);
    send(pipeline, piled.data(), piled.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    const int active = connect_to(port);
    bool cut = false;
    int answered = 0;
    const int seconds = 15; // the 10 s deadline, and its reach
    for (int second = 0; second < seconds; ++second) {
        pollfd ended{.fd = pipeline, .events = 0, .revents = 0}; // POLLHUP or POLLERR only
        cut = cut || poll(&ended, 1, 0) > 0;
        answered += ask(active, request, 0).starts_with("HTTP/1.1 200 ") ? 1 : 0;
        std::this_thread::sleep_for(1s);
    }
    EXPECT_TRUE(cut);
    EXPECT_EQ(answered, seconds);
    close(pipeline);
    close(active);
}

// A log path that names a FIFO nobody writes to: opening it for reading
// would wait for ever. It is not opened, said once, shown as unreadable,
// and SIGTERM still ends the program.
TEST(FslogMetrics, ShowsALogItCannotReadAndStopsWhateverTheLogIs)
{
    harness::scratch_dir dir("metrics-fifo");
    // The FIFO's name is no UTF-8; its label becomes valid text.
    const std::string fifo = dir / "fifo\xff.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A row without its tuning word is no complete row.
    std::ofstream(dir / "unit.log") << start_lines("Tue Dec  8 09:14:03 2026") << "\nno row here"
                                    << text_of(
                                           row{0.5, {{812, 2047, 1530, 2214}}, {{1932735283, 5000, 5000}}});
    const auto launched = std::chrono::system_clock::now();
    const int port = free_loopback_port();
    harness::child_process metrics(
        {metrics_bin, "--listen", "127.0.0.1:" + std::to_string(port), fifo, dir / "unit.log"});
    std::string exposition;
    for (int scrape = 0; scrape < 100 && sample(exposition, "fslog_rows_total{log=\"unit\"}") != "1";
         ++scrape) {
        std::this_thread::sleep_for(100ms);
        exposition = first_scrape(port);
    }
    EXPECT_EQ(sample(exposition, "fslog_log_readable{log=\"fifo\uFFFD\"}"), "0") << exposition;
    EXPECT_EQ(sample(exposition, "fslog_log_readable{log=\"unit\"}"), "1");
    EXPECT_EQ(sample(exposition, "fslog_skipped_lines_total{log=\"unit\"}"), "1");
    // No complete row yet: the time following began stands in for one.
    EXPECT_TRUE(sample(exposition, "fslog_last_complete_row_timestamp_seconds{log=\"fifo\uFFFD\"}"));
    const auto last_complete = sample(exposition, "fslog_last_complete_row_timestamp_seconds{log=\"unit\"}");
    ASSERT_TRUE(last_complete);
    EXPECT_GE(std::stod(*last_complete),
              std::chrono::duration<double>(launched.time_since_epoch()).count() - 1);

    metrics.signal(SIGTERM);
    EXPECT_TRUE(harness::exited_with(metrics.wait(5s), 0));
    EXPECT_EQ(metrics.err(), "fslog-metrics: can't read " + fifo + ": not a regular file\n");
}

} // namespace
