// fslog-metrics' HTTP side: see http_server.hpp.
#include "metrics/http_server.hpp"

#include <linux/tcp.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace metrics {

namespace {

constexpr std::string_view exposition_type = "text/plain; version=0.0.4; charset=utf-8";

// The bytes the client has sent on the socket so far.
std::uint64_t bytes_received(int fd)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
        return 0;
    }
    return info.tcpi_bytes_received;
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

MHD_Result count_header(void* count, MHD_ValueKind, const char*, const char*)
{
    ++*static_cast<std::size_t*>(count);
    return MHD_YES;
}

bool has_body(MHD_Connection* connection)
{
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    const char* coding =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING);
    return coding != nullptr || (length != nullptr && std::string_view(length) != "0");
}

} // namespace

struct server_callbacks {
    // Called when a request's headers are in, and again when its body
    // is. A request turned away at the first call has its connection
    // closed after the answer; one answered at the second keeps it.
    static MHD_Result on_request(void* server, MHD_Connection* connection, const char* url,
                                 const char* method, const char*, const char*, std::size_t*, void** request)
    {
        if (*request == nullptr) {
            *request = server;
            return refuse(connection, url, method);
        }
        return answer(connection, MHD_HTTP_OK, static_cast<http_server*>(server)->metrics_(),
                      exposition_type);
    }

    // Answers a request that is no scrape, or lets it through.
    static MHD_Result refuse(MHD_Connection* connection, std::string_view url, std::string_view method)
    {
        std::size_t headers = 0;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, count_header, &headers);
        if (headers > max_header_count) {
            return answer(connection, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE, "Too many header lines.\n");
        }
        if (has_body(connection)) {
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

    // Each connection's clock: started with the connection, stopped when
    // a request has been answered, dropped when the connection closes (and
    // before its socket is closed, so the deadline never touches another's).
    static void on_connection(void* server, MHD_Connection* connection, void** context,
                              MHD_ConnectionNotificationCode code)
    {
        auto& self = *static_cast<http_server*>(server);
        const std::scoped_lock lock(self.clocks_mutex_);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const int fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)->connect_fd;
            self.clocks_.push_front({fd, 0, std::chrono::steady_clock::now()});
            *context = &self.clocks_.front();
            return;
        }
        auto* clock = static_cast<http_server::connection_clock*>(*context);
        self.clocks_.remove_if([clock](const http_server::connection_clock& each) { return &each == clock; });
    }

    static void on_completed(void* server, MHD_Connection* connection, void**, MHD_RequestTerminationCode)
    {
        auto& self = *static_cast<http_server*>(server);
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        const std::scoped_lock lock(self.clocks_mutex_);
        if (auto* clock = static_cast<http_server::connection_clock*>(info->socket_context)) {
            clock->bytes_at_answer = bytes_received(clock->fd);
            clock->began.reset();
        }
    }
};

http_server::http_server(int listener, body_maker metrics) : metrics_(std::move(metrics))
{
    daemon_ = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD, 0, nullptr, nullptr, &server_callbacks::on_request, this,
        MHD_OPTION_LISTEN_SOCKET, listener, MHD_OPTION_CONNECTION_LIMIT, connection_limit,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, per_address_limit, MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(idle_timeout.count()), MHD_OPTION_CONNECTION_MEMORY_LIMIT, connection_memory,
        MHD_OPTION_NOTIFY_CONNECTION, &server_callbacks::on_connection, this, MHD_OPTION_NOTIFY_COMPLETED,
        &server_callbacks::on_completed, this, MHD_OPTION_END);
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

void http_server::enforce_deadlines()
{
    const auto now = std::chrono::steady_clock::now();
    const std::scoped_lock lock(clocks_mutex_);
    for (connection_clock& clock : clocks_) {
        if (!clock.began && bytes_received(clock.fd) > clock.bytes_at_answer) {
            clock.began = now;
        }
        if (clock.began && now - *clock.began > request_deadline) {
            // The server's own thread then reads the end and closes it.
            shutdown(clock.fd, SHUT_RDWR);
        }
    }
}

} // namespace metrics
