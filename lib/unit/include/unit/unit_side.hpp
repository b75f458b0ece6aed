// The unit's side of the line protocol, for everything that has to play the
// unit: the simulator and the tests' stand-in units. It parses the host's
// command frames and builds well-formed reply frames with their check bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
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

// ---------------------------------------------------------------------------
// A whole unit: which codes it answers and with what, and the faults a line
// can put into a reply. Shared by the simulator and the tests' stand-ins.

namespace unit {

// Everything a unit reports at one moment.
struct unit_state {
    std::array<std::uint16_t, 4> adc{}; // rail?, trimpot, temperature, vcxo
    std::uint32_t dds1 = 0;
    std::uint32_t dds2 = 0;
    std::int32_t tuning = 0;
    std::uint16_t uptime_seconds = 0; // wraps at 65536
};

// The reply the unit gives to `code` in `state`, or no bytes for a code it
// does not answer. Codes answered:
//   0x5A  ADC channels, 13 bytes         0x22  DDS words, 13 bytes
//   0x2D  tuning word, 9 bytes           0x53  uptime (16-bit LE), 7 bytes
//   0x29  firmware 1.4.2, hardware 3     0x2B  model name "FSU-10"
//   0x47  serial number "SN004217"       0x61  status: locked (03), no alarm (00)
//   0x65  DDS 2 rate, 100000 a second (32-bit BE)
//   0x67  firmware build date "2021-06-14"
bytes answer(std::uint8_t code, const unit_state& state);

// The DDS 2 rate that the 0x65 reply reports and the simulated unit keeps.
inline constexpr std::uint32_t dds2_counts_per_second = 100000;

// What can go wrong with one reply on its way to the host.
enum class fault : std::uint8_t { none, silence, header, payload, stray, cut };
inline constexpr std::array<fault, 5> fault_kinds{fault::silence, fault::header, fault::payload, fault::stray,
                                                  fault::cut};

// "none", "silence", "header", "payload", "stray", "cut".
const char* fault_name(fault kind);
std::optional<fault> fault_from_name(std::string_view name);

// The extra byte a `stray` fault puts after a reply: a spurious start bit on
// an idle line reads as 0xFF. It never equals a reply's header check byte, so
// the reply it heads always fails its header check.
inline constexpr std::uint8_t stray_byte = 0xFF;

// A reply as a fault leaves it: the bytes sent now, and for `cut` the rest,
// which the unit sends only after a pause.
struct faulted_reply {
    bytes now;
    bytes later;
};

// `silence` drops the reply, `header` and `payload` spoil that check,
// `stray` appends stray_byte, `cut` holds back the second half.
faulted_reply apply_fault(bytes reply, fault kind);

} // namespace unit
