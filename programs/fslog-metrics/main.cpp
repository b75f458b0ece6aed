// fslog-metrics [--listen ADDR:PORT] LOG...: follows each log as it grows
// and serves its numbers at /metrics in Prometheus' text format. Status 2
// for a bad command line, an address it can't listen on, a log path it
// can't use, or a log named twice under one label; 0 once stopped by
// SIGINT, SIGTERM or SIGHUP.
#include "cli/cli.hpp"
#include "logread/follow.hpp"
#include "metrics/http_server.hpp"
#include "metrics/listen_address.hpp"
#include "metrics/log_metrics.hpp"

#include <prometheus/text_serializer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <set>
#include <signal.h>
#include <stop_token>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <utility>
#include <variant>
#include <vector>

namespace {

constexpr auto poll_pause = std::chrono::milliseconds(250);
constexpr auto follower_grace = std::chrono::milliseconds(500);

// The default address, and the same port on IPv6's loopback, as the usage
// and the messages give them.
const std::string default_listen =
    metrics::listen_text({std::string(metrics::default_host), metrics::default_port});
const std::string ipv6_listen = metrics::listen_text({"::1", metrics::default_port});

const std::string metrics_usage =
    "Usage: fslog-metrics [--listen ADDR:PORT] LOG...\n"
    "Follows each LOG as fslog writes it and serves its numbers for Prometheus\n"
    "at http://ADDR:PORT/metrics.\n"
    "  --listen ADDR:PORT  where to serve (default " +
    default_listen + "; " + ipv6_listen +
    " for IPv6)\n"
    "  -h, --help          show this text\n"
    "  --version           show the version\n";
const cli::program metrics_program{"fslog-metrics", metrics_usage};
constexpr std::array<cli::option, 1> metrics_options{{{.name = "listen", .takes_value = true}}};

struct options {
    metrics::listen_address listen;
    std::vector<std::string> logs;
};

// Why a log's path won't do, or nothing: it must name a file, found from
// the working folder when it is relative (which may have been removed).
std::string path_problem(const std::string& log)
{
    std::error_code error;
    if (log.empty() || std::filesystem::absolute(log, error).empty() || error) {
        return "can't use the log path \"" + log + "\": " + (log.empty() ? "it is empty" : error.message());
    }
    return "";
}

// Why the logs won't do, or nothing: each needs a usable path and a label
// of its own.
std::string logs_problem(const std::vector<std::string>& logs)
{
    std::set<std::string> labels;
    for (const std::string& log : logs) {
        if (std::string problem = path_problem(log); !problem.empty()) {
            return problem;
        }
        if (!labels.insert(metrics::log_label(log)).second) {
            return "two logs named " + metrics::log_label(log) + ": each log's file name must differ";
        }
    }
    return logs.empty() ? "no log given" : "";
}

// The options, or the status to leave with.
std::variant<options, int> parse_options(int argc, char** argv)
{
    options parsed;
    std::string listen = default_listen;
    cli::command_line line = cli::parse(argc, argv, metrics_program, metrics_options,
                                        [&listen](std::string_view, std::string_view value) {
                                            listen = value;
                                            return std::string();
                                        });
    parsed.logs = line.operands;
    const auto address = metrics::parse_listen_address(listen);
    if (line.error.empty()) {
        line.error = address ? logs_problem(parsed.logs)
                             : "bad --listen address " + listen +
                                   " (expected ADDR:PORT, PORT from 1 to 65535, such as " + default_listen +
                                   " or " + ipv6_listen + ")";
    }
    if (const auto status = cli::answer(metrics_program, line)) {
        return *status;
    }
    parsed.listen = *address;
    return parsed;
}

// A pause between polls that a stop request cuts short.
class stoppable_pause {
public:
    explicit stoppable_pause(std::stop_token stop) : stop_(std::move(stop)) {}
    // False once a stop was requested.
    bool operator()()
    {
        std::unique_lock lock(mutex_);
        woken_.wait_for(lock, stop_, poll_pause, [] { return false; });
        return !stop_.stop_requested();
    }

private:
    std::stop_token stop_;
    std::mutex mutex_;
    std::condition_variable_any woken_;
};

// A log's trouble, said on standard error once each time it changes.
void report_trouble(const std::string& path, const logread::follow_result& result, std::string& reported)
{
    std::string problem = logread::follow_problem(result);
    if (problem != reported && !problem.empty()) {
        std::fprintf(stderr, "fslog-metrics: can't read %s: %s\n", path.c_str(), problem.c_str());
    }
    reported = std::move(problem);
}

// One log, read from its start and followed on its own thread.
void follow(const std::stop_token& stop, const std::string& path, metrics::log_metrics& numbers,
            std::atomic<int>& running)
{
    logread::followed_log log(path, numbers);
    stoppable_pause pause(stop);
    std::string reported_problem;
    for (;;) {
        const auto result = log.poll();
        numbers.set_readable(log.follower().following());
        report_trouble(path, result, reported_problem);
        const bool more = result.event == logread::follow_event::data;
        if (more ? stop.stop_requested() : !pause()) {
            break;
        }
    }
    --running;
}

// A socket listening on the address, or -1 once it has said why there is
// none.
int listen_on(const metrics::listen_address& address)
{
    const metrics::listener bound = metrics::open_listener(address);
    if (bound.fd < 0) {
        std::fprintf(stderr, "fslog-metrics: can't listen on %s: %s\n", metrics::listen_text(address).c_str(),
                     bound.problem.c_str());
    }
    return bound.fd;
}

sigset_t stop_signals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&signals, number);
    }
    return signals;
}

// Room for every connection the server takes, within the hard limit.
void raise_descriptor_limit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < metrics::descriptors_needed) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, metrics::descriptors_needed);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Serves until a stop signal comes, cutting off overdue requests between
// looks for it.
void serve_until_stopped(metrics::http_server& server)
{
    const sigset_t stopping = stop_signals();
    const timespec tick{0, 250'000'000};
    while (sigtimedwait(&stopping, nullptr, &tick) < 0) {
        server.enforce_deadlines();
    }
}

// Asks the followers to stop and waits a moment for them; should one hang
// (a read held up in the file system), the process ends without it.
void stop_followers(std::vector<std::jthread>& followers, const std::atomic<int>& running)
{
    for (std::jthread& follower : followers) {
        follower.request_stop();
    }
    const auto deadline = std::chrono::steady_clock::now() + follower_grace;
    while (running > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (running > 0) {
        std::_Exit(cli::exit_ok);
    }
}

int serve(const options& given)
{
    // The stop signals are blocked in every thread; the main thread takes
    // them with sigtimedwait.
    const sigset_t stopping = stop_signals();
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
    raise_descriptor_limit();

    // Like a bad command line: what to serve on is given wrong.
    const int listener = listen_on(given.listen);
    if (listener < 0) {
        return cli::exit_usage;
    }
    prometheus::Registry registry;
    metrics::metric_families families(registry);
    metrics::http_server server(
        listener, [&registry] { return prometheus::TextSerializer().Serialize(registry.Collect()); });
    if (!server.started()) {
        std::fprintf(stderr, "fslog-metrics: can't start serving on %s\n",
                     metrics::listen_text(given.listen).c_str());
        return cli::exit_usage;
    }

    std::vector<std::unique_ptr<metrics::log_metrics>> numbers;
    std::vector<std::jthread> followers;
    std::atomic<int> running{static_cast<int>(given.logs.size())};
    for (const std::string& path : given.logs) {
        numbers.push_back(std::make_unique<metrics::log_metrics>(families, path));
        followers.emplace_back(follow, path, std::ref(*numbers.back()), std::ref(running));
    }
    serve_until_stopped(server);
    stop_followers(followers, running);
    return cli::exit_ok;
}

} // namespace

int main(int argc, char** argv)
{
    const auto parsed = parse_options(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }
    return serve(std::get<options>(parsed));
}
