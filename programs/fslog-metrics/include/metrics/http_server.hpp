// fslog-metrics' HTTP side: GNU libmicrohttpd serving GET /metrics from one
// thread that waits on every connection at once (epoll), so clients that
// send slowly cost a connection each, not a thread. What a client may take
// is bounded:
//   - connections: connection_limit in all, per_address_limit from one
//     address; more are turned away at once;
//   - time: a request must be read and answered in full within
//     request_deadline of its first byte (or of the connection's opening),
//     however slowly its bytes trickle in; a kept-alive connection with
//     nothing to say is closed after idle_timeout;
//   - size: a request's line and headers must fit in
//     connection_memory (431 otherwise), at most max_header_count header
//     lines (431), and no body (400).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>

struct MHD_Connection;
struct MHD_Daemon;

namespace metrics {

inline constexpr unsigned connection_limit = 1000;
inline constexpr unsigned per_address_limit = 64;
inline constexpr std::chrono::seconds request_deadline{10};
inline constexpr std::chrono::seconds idle_timeout{90};
inline constexpr std::size_t connection_memory = std::size_t{16} * 1024;
inline constexpr std::size_t max_header_count = 100;

// The descriptors the server may need: its connections and a few more.
inline constexpr unsigned descriptors_needed = connection_limit + 64;

class http_server {
public:
    using body_maker = std::function<std::string()>;

    // Serves on `listener` (a listening TCP socket, which it takes over).
    // `metrics` makes the body of each GET /metrics. started() says
    // whether the server runs.
    http_server(int listener, body_maker metrics);
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    bool started() const { return daemon_ != nullptr; }

    // Cuts off the connections whose request has outlived request_deadline.
    // Called every fraction of a second.
    void enforce_deadlines();

    // The connection as the deadline sees it: its socket, the bytes it had
    // sent when its last request was answered, and when its current
    // request began (nothing while it is idle between requests).
    struct connection_clock {
        int fd = -1;
        std::uint64_t bytes_at_answer = 0;
        std::optional<std::chrono::steady_clock::time_point> began;
    };

private:
    friend struct server_callbacks;

    MHD_Daemon* daemon_ = nullptr;
    body_maker metrics_;
    std::mutex clocks_mutex_;
    std::list<connection_clock> clocks_;
};

} // namespace metrics
