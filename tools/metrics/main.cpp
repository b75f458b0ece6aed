// fslog-metrics [--listen ADDR:PORT] LOG...: follows each log as it grows
// and serves its numbers at /metrics in Prometheus' text format. Status 2
// for a bad command line, an address it can't listen on, or a log named
// twice under one label; 0 once stopped by SIGINT, SIGTERM or SIGHUP.
#include "logread/follow.hpp"
#include "metrics/listen_address.hpp"
#include "metrics/log_metrics.hpp"

#include <httplib.h>
#include <prometheus/text_serializer.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <set>
#include <signal.h>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <time.h>
#include <utility>
#include <variant>
#include <vector>

namespace {

constexpr int status_usage = 2;
constexpr auto poll_pause = std::chrono::milliseconds(250);

constexpr std::string_view usage = "Usage: fslog-metrics [--listen ADDR:PORT] LOG...\n"
                                   "Serves the logs' numbers for Prometheus at http://ADDR:PORT/metrics\n"
                                   "(by default 127.0.0.1:9929).\n";

struct options {
    metrics::listen_address listen;
    std::vector<std::string> logs;
};

int usage_error(const std::string& problem)
{
    std::fprintf(stderr, "fslog-metrics: %s\n%.*s", problem.c_str(), static_cast<int>(usage.size()),
                 usage.data());
    return status_usage;
}

// The options, or the status to leave with.
std::variant<options, int> parse_options(int argc, char** argv)
{
    std::string_view listen = metrics::default_listen;
    options parsed;
    for (int index = 1; index < argc; ++index) {
        const std::string_view arg = argv[index];
        if (arg == "-h" || arg == "--help") {
            std::fwrite(usage.data(), 1, usage.size(), stdout);
            return 0;
        }
        if (arg == "--listen" && index + 1 < argc) {
            listen = argv[++index];
        } else if (arg.starts_with("--listen=")) {
            listen = arg.substr(std::string_view("--listen=").size());
        } else if (arg.starts_with('-') && arg != "-") {
            return usage_error("unknown option " + std::string(arg));
        } else {
            parsed.logs.emplace_back(arg);
        }
    }
    if (parsed.logs.empty()) {
        return usage_error("no log given");
    }
    const auto address = metrics::parse_listen_address(listen);
    if (!address) {
        return usage_error("bad --listen address " + std::string(listen) +
                           " (expected ADDR:PORT, such as 127.0.0.1:9929 or [::1]:9929)");
    }
    parsed.listen = *address;
    std::set<std::string> labels;
    for (const std::string& log : parsed.logs) {
        if (!labels.insert(metrics::log_label(log)).second) {
            return usage_error("two logs named " + metrics::log_label(log) +
                               ": each log's file name must differ");
        }
    }
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

// One log, read from its start and followed on its own thread.
void follow(const std::stop_token& stop, const std::string& path, metrics::log_metrics& numbers)
{
    logread::followed_log log(path, numbers);
    stoppable_pause pause(stop);
    int reported_error = 0;
    for (;;) {
        const auto result = log.poll();
        const int error = result.event == logread::follow_event::failed ? result.error : 0;
        if (error != reported_error && error != 0) {
            std::fprintf(stderr, "fslog-metrics: can't read %s: %s\n", path.c_str(), std::strerror(error));
        }
        reported_error = error;
        const bool more = result.event == logread::follow_event::data;
        if (more ? stop.stop_requested() : !pause()) {
            return;
        }
    }
}

std::string listen_text(const metrics::listen_address& address)
{
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

// Binds the server, or says why it can't: status 2.
bool bind(httplib::Server& server, const metrics::listen_address& address)
{
    const std::string problem = metrics::host_problem(address);
    if (!problem.empty()) {
        std::fprintf(stderr, "fslog-metrics: can't listen on %s: %s\n", listen_text(address).c_str(),
                     problem.c_str());
        return false;
    }
    errno = 0;
    if (!server.bind_to_port(address.host, address.port)) {
        const int error = errno;
        std::fprintf(stderr, "fslog-metrics: can't listen on %s: %s\n", listen_text(address).c_str(),
                     error != 0 ? std::strerror(error) : "no socket could be bound there");
        return false;
    }
    return true;
}

int serve(const options& given)
{
    // The stop signals wait for one thread that asks the rest to stop; the
    // others, started after this, never see them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stop_signals, number);
    }
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    prometheus::Registry registry;
    metrics::metric_families families(registry);
    httplib::Server server;
    server.Get("/metrics", [&registry](const httplib::Request&, httplib::Response& response) {
        response.set_content(prometheus::TextSerializer().Serialize(registry.Collect()),
                             "text/plain; version=0.0.4; charset=utf-8");
    });
    if (!bind(server, given.listen)) {
        return status_usage;
    }

    std::vector<std::unique_ptr<metrics::log_metrics>> numbers;
    std::vector<std::jthread> followers;
    for (const std::string& path : given.logs) {
        numbers.push_back(std::make_unique<metrics::log_metrics>(families, path));
        followers.emplace_back(follow, path, std::ref(*numbers.back()));
    }
    std::atomic<bool> served{false};
    std::jthread stopper([&server, &stop_signals, &served] {
        const timespec tick{0, 100'000'000};
        while (!served && sigtimedwait(&stop_signals, nullptr, &tick) < 0) {
        }
        // A stop before the server has begun to listen does nothing, so it is
        // asked again until it has ended.
        while (!served) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    server.listen_after_bind();
    served = true;
    for (std::jthread& follower : followers) {
        follower.request_stop();
    }
    return 0;
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
