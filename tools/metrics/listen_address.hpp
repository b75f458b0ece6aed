// fslog-metrics' --listen ADDR:PORT: read and checked before anything binds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace metrics {

struct listen_address {
    std::string host; // a name or a numeric address, IPv6 without its brackets
    int port = 0;
};

inline constexpr std::string_view default_listen = "127.0.0.1:9929";

// "HOST:PORT", or "[IPV6]:PORT"; the port is 1 to 65535. Nothing when the
// text has another form.
std::optional<listen_address> parse_listen_address(std::string_view text);

// Why the host can't be listened on (the resolver's own words), or an empty
// text when it resolves.
std::string host_problem(const listen_address& address);

} // namespace metrics
