// fslog-metrics' HTTP side: see http_server.hpp.
#include "metrics/http_server.hpp"

#include <algorithm>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <map>
#include <microhttpd.h>
#include <netinet/in.h>
#include <string_view>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace metrics {

namespace {

constexpr std::string_view exposition_type = "text/plain; version=0.0.4; charset=utf-8";

// What the socket has carried so far: bytes from the client, and bytes to
// it that it has acknowledged.
struct traffic {
    std::uint64_t received = 0;
    std::uint64_t acked = 0;
};

traffic traffic_of(int fd)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
        return {};
    }
    return {info.tcpi_bytes_received, info.tcpi_bytes_acked};
}

// The bytes written to the socket so far: those acknowledged and those
// still queued.
std::uint64_t bytes_written(int fd)
{
    int queued = 0;
    ioctl(fd, SIOCOUTQ, &queued);
    return traffic_of(fd).acked + static_cast<std::uint64_t>(std::max(queued, 0));
}

std::string client_address(MHD_Connection* connection)
{
    const sockaddr* address =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)->client_addr;
    if (address->sa_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(*address).sin6_addr;
        return {reinterpret_cast<const char*>(&v6), sizeof v6};
    }
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(*address).sin_addr;
    return {reinterpret_cast<const char*>(&v4), sizeof v4};
}

MHD_Result answer(MHD_Connection* connection, unsigned status, std::string_view body,
                  std::string_view type = "text/plain; charset=utf-8")
{
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, std::string(type).c_str());
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

// What a request's header lines say about its size and body. Every
// Content-Length line counts, not only the first: two that differ are
// refused like any body.
struct header_facts {
    std::size_t count = 0;
    bool body = false; // a Content-Length above 0, or a Transfer-Encoding
};

MHD_Result note_header(void* facts, MHD_ValueKind, const char* key, const char* value)
{
    auto& seen = *static_cast<header_facts*>(facts);
    ++seen.count;
    const std::string_view length = value != nullptr ? value : "";
    seen.body = seen.body || strcasecmp(key, MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0 ||
                (strcasecmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) == 0 &&
                 length.find_first_not_of('0') != std::string_view::npos);
    return MHD_YES;
}

} // namespace

struct server_callbacks {
    static http_server::connection_clock* clock_of(MHD_Connection* connection)
    {
        return static_cast<http_server::connection_clock*>(
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)->socket_context);
    }

    // Called when a request's headers are in, and again when its body
    // is. A request turned away at the first call has its connection
    // closed after the answer; one answered at the second keeps it.
    static MHD_Result on_request(void* server, MHD_Connection* connection, const char* url,
                                 const char* method, const char*, const char*, std::size_t*, void** request)
    {
        auto& self = *static_cast<http_server*>(server);
        if (*request == nullptr) {
            *request = server;
            const std::scoped_lock lock(self.clocks_mutex_);
            if (auto* clock = clock_of(connection)) {
                clock->in_request = true;
            }
            return refuse(connection, url, method);
        }
        return answer(connection, MHD_HTTP_OK, self.metrics_(), exposition_type);
    }

    // Answers a request that is no scrape, or lets it through.
    static MHD_Result refuse(MHD_Connection* connection, std::string_view url, std::string_view method)
    {
        header_facts headers;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, note_header, &headers);
        if (headers.count > max_header_count) {
            return answer(connection, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE, "Too many header lines.\n");
        }
        if (headers.body) {
            return answer(connection, MHD_HTTP_BAD_REQUEST, "A scrape has no body.\n");
        }
        if (method != MHD_HTTP_METHOD_GET && method != MHD_HTTP_METHOD_HEAD) {
            return answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD.\n");
        }
        if (url != "/metrics") {
            return answer(connection, MHD_HTTP_NOT_FOUND, "The metrics are at /metrics.\n");
        }
        return MHD_YES;
    }

    // Each connection's clock: started with the connection, dropped when
    // the connection closes (and before its socket is closed, so the
    // deadline never touches another's).
    static void on_connection(void* server, MHD_Connection* connection, void** context,
                              MHD_ConnectionNotificationCode code)
    {
        auto& self = *static_cast<http_server*>(server);
        const std::scoped_lock lock(self.clocks_mutex_);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const int fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)->connect_fd;
            self.clocks_.push_front(
                {.fd = fd, .address = client_address(connection), .began = std::chrono::steady_clock::now()});
            ++self.live_;
            *context = &self.clocks_.front();
            if (self.live_ > connection_limit - pool_reserve) {
                self.evict_one(self.clocks_.front());
            }
            return;
        }
        auto* clock = static_cast<http_server::connection_clock*>(*context);
        self.live_ -= clock->evicted ? 0 : 1;
        self.clocks_.remove_if([clock](const http_server::connection_clock& each) { return &each == clock; });
    }

    // The answer is written in full: the clock stops once the client has
    // taken it (see enforce_deadlines).
    static void on_completed(void* server, MHD_Connection* connection, void**, MHD_RequestTerminationCode)
    {
        auto& self = *static_cast<http_server*>(server);
        const std::scoped_lock lock(self.clocks_mutex_);
        if (auto* clock = clock_of(connection)) {
            clock->in_request = false;
            clock->bytes_at_answer = traffic_of(clock->fd).received;
            clock->answer_end = bytes_written(clock->fd);
            ++clock->answers;
        }
    }
};

http_server::http_server(int listener, body_maker metrics) : metrics_(std::move(metrics))
{
    daemon_ = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD, 0, nullptr, nullptr, &server_callbacks::on_request, this,
        MHD_OPTION_LISTEN_SOCKET, listener, MHD_OPTION_CONNECTION_LIMIT, connection_limit,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(idle_timeout.count()),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, connection_memory, MHD_OPTION_NOTIFY_CONNECTION,
        &server_callbacks::on_connection, this, MHD_OPTION_NOTIFY_COMPLETED, &server_callbacks::on_completed,
        this, MHD_OPTION_END);
    if (daemon_ == nullptr) {
        close(listener);
    }
}

http_server::~http_server()
{
    if (daemon_ != nullptr) {
        MHD_stop_daemon(daemon_);
    }
}

void http_server::evict_one(const connection_clock& newcomer)
{
    std::map<std::string_view, unsigned> held;
    for (const connection_clock& clock : clocks_) {
        held[clock.address] += clock.evicted ? 0 : 1;
    }
    const std::string_view busiest =
        std::ranges::max_element(held, {}, [](const auto& address) { return address.second; })->first;
    connection_clock* victim = nullptr;
    for (connection_clock& clock : clocks_) { // the newest first: the last one found is the oldest
        const bool candidate = !clock.evicted && &clock != &newcomer && clock.address == busiest;
        if (candidate && (victim == nullptr || clock.began || !victim->began)) {
            victim = &clock;
        }
    }
    if (victim != nullptr) {
        // The server's own thread then reads the end and closes it.
        shutdown(victim->fd, SHUT_RDWR);
        victim->evicted = true;
        --live_;
    }
}

void http_server::enforce_deadlines()
{
    const auto now = std::chrono::steady_clock::now();
    const std::scoped_lock lock(clocks_mutex_);
    for (connection_clock& clock : clocks_) {
        const traffic carried = traffic_of(clock.fd);
        const bool answer_taken = carried.acked >= clock.answer_end;
        const bool busy = clock.in_request || carried.received > clock.bytes_at_answer || !answer_taken;
        if (!busy) {
            clock.began.reset();
        } else if (!clock.began || (answer_taken && clock.answers != clock.answers_at_start)) {
            // A new request, or the next of those piled up once the
            // client has taken the answer before it.
            clock.began = now;
            clock.answers_at_start = clock.answers;
        }
        if (clock.began && now - *clock.began > request_deadline) {
            shutdown(clock.fd, SHUT_RDWR);
        }
    }
}

} // namespace metrics
