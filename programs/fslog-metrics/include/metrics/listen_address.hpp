// fslog-metrics' --listen ADDR:PORT: read and checked before anything binds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct addrinfo;

namespace metrics {

struct listen_address {
    std::string host; // a name or a numeric address, IPv6 without its brackets
    int port = 0;
};

// Where fslog-metrics serves unless told otherwise: on this host only.
inline constexpr std::string_view default_host = "127.0.0.1";
inline constexpr int default_port = 9929;

// "HOST:PORT", or "[IPV6]:PORT"; the port is 1 to 65535. Nothing when the
// text has another form.
std::optional<listen_address> parse_listen_address(std::string_view text);
// The address in that form.
std::string listen_text(const listen_address& address);

// A TCP socket listening on the address (the first of the host's
// addresses that binds), or why there is none: the resolver's or the
// system's own words. A port that another program listens on, a second
// fslog-metrics among them, is never shared: the socket asks for no
// SO_REUSEPORT.
struct listener {
    int fd = -1;
    std::string problem;
};
listener open_listener(const listen_address& address);
// The same, on the first of the resolver's list that binds; a port in use
// on one address ends the search, with no other address standing in.
listener listen_on_first(const addrinfo* addresses);

} // namespace metrics
