// The unit's side of the line protocol, for everything that has to play the
// unit: the simulator and the tests' stand-in units. It parses the host's
// command frames and builds well-formed reply frames with their check bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace unit {

using bytes = std::vector<std::uint8_t>;

// Gathers the host's bytes into 4-byte command frames. A frame whose check
// fails is ignored the way the unit ignores it; the parser then slides on
// byte by byte, so it falls back into step after a lost or extra byte.
class command_parser {
public:
    // Feeds one byte; returns the command code when it completes a valid frame.
    std::optional<std::uint8_t> push(std::uint8_t byte);

private:
    std::array<std::uint8_t, 4> window_{};
    int filled_ = 0;
};

// True when `frame` is a well-formed command frame: length 4, byte 2 zero,
// the XOR of all four bytes zero.
bool is_command_frame(std::span<const std::uint8_t, 4> frame);

// A reply frame: header (code, total length, 0, header check), `data`, and
// the payload check byte that makes the payload XOR to zero. `data` may hold
// up to 250 bytes.
bytes reply_frame(std::uint8_t code, std::span<const std::uint8_t> data);

// A header-only reply (length 4, no payload).
bytes empty_reply(std::uint8_t code);

// The logged queries' replies.
bytes adc_reply(const std::array<std::uint16_t, 4>& channels); // 0x5A, 13 bytes
bytes dds_reply(std::uint32_t dds1, std::uint32_t dds2);       // 0x22, 13 bytes
bytes tuning_reply(std::int32_t tuning);                       // 0x2D, 9 bytes

// The fixed-length test queries' replies. The other test codes (0x2B, 0x47,
// 0x5A, 0x61, 0x65, 0x67) take replies of any length: reply_frame.
bytes test_53_reply(std::uint16_t value);                       // 0x53, 7 bytes, little-endian
bytes test_29_reply(const std::array<std::uint8_t, 4>& values); // 0x29, 9 bytes

// Faults a unit or a noisy line can put into a reply: flip a bit of the
// header's or the payload's check byte, so that check fails.
void spoil_header_check(bytes& reply);
void spoil_payload_check(bytes& reply);

// Wire encodings of the unit's values.
void append_little_endian_16(bytes& out, std::uint16_t value);
void append_big_endian_32(bytes& out, std::uint32_t value);

} // namespace unit
