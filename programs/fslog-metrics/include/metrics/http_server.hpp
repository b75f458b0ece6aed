// fslog-metrics' HTTP side: GNU libmicrohttpd serving GET /metrics from one
// thread that waits on every connection at once (epoll), so clients that
// send slowly cost a connection each, not a thread. What a client may take
// is bounded:
//   - connections: connection_limit in all. While more than pool_reserve
//     are free, any address may open as many as it likes; once fewer are,
//     each new connection evicts one of the address that holds the most
//     (its oldest with a request under way, else its oldest). One address
//     can't keep the pool from the others, and a scraper that shares its
//     address with slow clients (127.0.0.1 on its own host) still gets in;
//   - time: a request must be read, answered, and its answer taken by the
//     client within request_deadline of its first byte (or of the
//     connection's opening), however slowly its bytes trickle in, and
//     however many requests are piled up behind it; a kept-alive
//     connection with nothing to say is closed after idle_timeout;
//   - size: a request's line and headers must fit in connection_memory
//     (431 otherwise), at most max_header_count header lines (431), and no
//     body (400), whichever of its Content-Length lines names one.
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
inline constexpr unsigned pool_reserve = 64;
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

    // The connection as the deadline and the pool see it: its socket and
    // client address; whether a request's headers are in and it is not yet
    // answered; the bytes it had sent when its last request was answered,
    // and the bytes written to it by then, which it has taken once they
    // are acknowledged; how many answers it has had; and when its current
    // request began (nothing while it is idle between requests).
    struct connection_clock {
        int fd = -1;
        std::string address;
        bool in_request = false;
        bool evicted = false;
        std::uint64_t bytes_at_answer = 0;
        std::uint64_t answer_end = 0;
        unsigned answers = 0;
        unsigned answers_at_start = 0;
        std::optional<std::chrono::steady_clock::time_point> began;
    };

private:
    friend struct server_callbacks;

    // Makes room in a pool that runs short: see above.
    void evict_one(const connection_clock& newcomer);

    MHD_Daemon* daemon_ = nullptr;
    body_maker metrics_;
    std::mutex clocks_mutex_;
    std::list<connection_clock> clocks_; // the newest first
    unsigned live_ = 0;                  // those not evicted
};

} // namespace metrics
