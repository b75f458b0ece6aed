// The request/reply protocol with the unit.
//
// Command frame, host to unit, always 4 bytes:
//   code, 0x04 (total length), 0x00, code ^ 0x04   -- XOR of all four is 0.
// Reply frame, unit to host:
//   byte 1 is the total length (header included, 4..255), byte 3 makes the
//   XOR of bytes 0..3 zero, and the payload (bytes 4..length-1) XORs to zero
//   on its own, its last byte being the check.
//
// Every exchange writes one command and reads its reply into the caller's
// 256-byte buffer, reply byte k at position k; only the bytes read are
// written. The result is the reply's total length, or 0 when the exchange
// failed, in which case the line has been reset (a 4 s pause).
#pragma once

#include <array>
#include <cstdint>

inline constexpr int reply_buffer_size = 256;
inline constexpr int header_length = 4;
using reply_buffer = std::array<std::uint8_t, reply_buffer_size>;
using command_bytes = std::array<std::uint8_t, header_length>;

// XOR of the first `count` bytes of `bytes`.
std::uint8_t xor_of(const std::uint8_t* bytes, int count);

// True when the XOR of the first `count` bytes of `frame` is zero.
bool check_header(const std::uint8_t* frame, int count);

// For `length` > 4: true when the payload bytes 4..length-1 XOR to zero.
// For `length` <= 4 the whole reply is checked, so a reply without payload
// passes whenever its header does.
bool check_payload(const std::uint8_t* frame, int length);

// The 4-byte command frame for `code`.
command_bytes command_frame(std::uint8_t code);

// Fixed-length, strict exchange: reads exactly `length` bytes (the reply's
// own length byte is not consulted) and fails unless both checks pass.
int tx_command(std::uint8_t code, std::uint8_t length, reply_buffer& reply);

// Variable-length exchanges: the header's length byte says how much follows.
// A bad payload check does not fail them; tx_command2 prints "cs ok " when
// the payload check passes, tx_command_3 prints "(CS bad!) " when it fails.
int tx_command2(std::uint8_t code, reply_buffer& reply);
int tx_command_3(std::uint8_t code, reply_buffer& reply);

// Wire values: the ADC words are little-endian, the DDS and tuning words
// big-endian.
std::uint16_t little_endian_16(const std::uint8_t* bytes);
std::uint32_t big_endian_32(const std::uint8_t* bytes);
