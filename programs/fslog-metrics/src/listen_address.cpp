// fslog-metrics' --listen ADDR:PORT: see listen_address.hpp.
#include "metrics/listen_address.hpp"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A listening socket on one address, or -1 with errno saying why not.
int bind_one(const addrinfo& address)
{
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    // Lets a restarted fslog-metrics bind at once while its old
    // connections linger in TIME_WAIT; unlike SO_REUSEPORT, it lets no
    // second listener share the port.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, address.ai_addr, address.ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
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

std::string listen_text(const listen_address& address)
{
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

listener open_listener(const listen_address& address)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    const int status = getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
    if (status != 0) {
        return {-1, gai_strerror(status)};
    }
    listener bound = listen_on_first(found);
    freeaddrinfo(found);
    return bound;
}

listener listen_on_first(const addrinfo* addresses)
{
    int error = 0;
    for (const addrinfo* each = addresses; each != nullptr; each = each->ai_next) {
        const int fd = bind_one(*each);
        if (fd >= 0) {
            return {fd, {}};
        }
        error = errno;
        // A port in use is the answer: no other address of the host stands
        // in for it.
        if (error == EADDRINUSE) {
            break;
        }
    }
    return {-1, std::strerror(error)};
}

} // namespace metrics
