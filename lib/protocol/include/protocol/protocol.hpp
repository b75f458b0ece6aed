// The wire protocol with the unit, for both ends of the line: fslog's side
// (the exchanges, the logger, the diagnostics, fslog-probe) and the unit's
// side (the simulator and the tests' stand-in units).
//
// Command frame, host to unit, always 4 bytes:
//   code, 0x04 (total length), 0x00, code ^ 0x04   -- XOR of all four is 0.
// Reply frame, unit to host:
//   byte 1 is the total length (header included, 4..255), byte 3 makes the
//   XOR of bytes 0..3 zero, and the payload (bytes 4..length-1) XORs to zero
//   on its own, its last byte being the check.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace protocol {

// Command codes. The logged queries are named for what they read; the test
// queries after their code, as the functions that send them are.
namespace command {
inline constexpr std::uint8_t adc = 0x5A; // also the test query 0x5A
inline constexpr std::uint8_t dds = 0x22;
inline constexpr std::uint8_t tuning = 0x2D;
inline constexpr std::uint8_t test_53 = 0x53;
inline constexpr std::uint8_t test_29 = 0x29;
inline constexpr std::uint8_t test_2b = 0x2B;
inline constexpr std::uint8_t test_47 = 0x47;
inline constexpr std::uint8_t test_61 = 0x61;
inline constexpr std::uint8_t test_65 = 0x65;
inline constexpr std::uint8_t test_67 = 0x67;
} // namespace command

// A command frame is a header alone; a reply's header has the same layout.
inline constexpr int header_length = 4;
// The length byte is one byte, so no reply is longer.
inline constexpr int max_reply_length = 255;

// The fixed reply lengths: header, payload, check byte.
inline constexpr std::uint8_t adc_reply_length = 13;    // four 16-bit channels
inline constexpr std::uint8_t test_53_reply_length = 7; // one 16-bit value
inline constexpr std::uint8_t test_29_reply_length = 9; // four bytes
// Where the payload starts, and where the words of the DDS and tuning
// replies end: a reply shorter than that doesn't hold them.
inline constexpr int payload_start = header_length;
inline constexpr int dds_words_end = payload_start + 8; // dds 1, dds 2
inline constexpr int tuning_word_end = payload_start + 4;

// XOR of `bytes`: zero over a whole header, and over a whole payload.
constexpr std::uint8_t xor_of(std::span<const std::uint8_t> bytes)
{
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum ^= byte;
    }
    return sum;
}

using header_bytes = std::array<std::uint8_t, header_length>;
using command_bytes = header_bytes;

// A frame's header: the code, the frame's total length, 0, and the check
// byte that makes the four XOR to zero.
constexpr header_bytes frame_header(std::uint8_t code, std::uint8_t length)
{
    return {code, length, 0x00, static_cast<std::uint8_t>(code ^ length)};
}

// The command frame for `code`: a header alone.
constexpr command_bytes command_frame(std::uint8_t code)
{
    return frame_header(code, header_length);
}

} // namespace protocol
