// fslog-metrics' --listen ADDR:PORT: see listen_address.hpp.
#include "metrics/listen_address.hpp"

#include <charconv>
#include <netdb.h>
#include <sys/socket.h>

namespace metrics {

namespace {

std::optional<int> parse_port(std::string_view digits)
{
    int port = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, port);
    if (digits.empty() || error != std::errc{} || stop != end || digits[0] == '+' || port < 1 ||
        port > 65535) {
        return std::nullopt;
    }
    return port;
}

} // namespace

std::optional<listen_address> parse_listen_address(std::string_view text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view host = text.substr(0, colon);
    if (host.starts_with('[') && host.ends_with(']')) {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        return std::nullopt; // an IPv6 address needs its brackets
    }
    const auto port = parse_port(text.substr(colon + 1));
    if (host.empty() || !port) {
        return std::nullopt;
    }
    return listen_address{std::string(host), *port};
}

std::string host_problem(const listen_address& address)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(address.host.c_str(), nullptr, &hints, &found);
    if (status != 0) {
        return gai_strerror(status);
    }
    freeaddrinfo(found);
    return {};
}

} // namespace metrics
