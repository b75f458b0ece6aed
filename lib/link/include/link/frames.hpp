// The framed exchanges on fslog's side of the line (the frames themselves
// are in protocol.hpp).
//
// Every exchange writes one command and reads its reply into the caller's
// 256-byte buffer, reply byte k at position k; only the bytes read are
// written. The result is the reply's total length, or 0 when the exchange
// failed, in which case the line has been reset (protocol::reset_pause_seconds of quiet).
#pragma once

#include <array>
#include <cstdint>

#include "protocol/protocol.hpp"

inline constexpr int reply_buffer_size = 256;
using reply_buffer = std::array<std::uint8_t, reply_buffer_size>;

// True when the XOR of the first `count` bytes of `frame` is zero.
bool check_header(const std::uint8_t* frame, int count);

// For `length` > 4: true when the payload bytes 4..length-1 XOR to zero.
// For `length` <= 4 the whole reply is checked, so a reply without payload
// passes whenever its header does.
bool check_payload(const std::uint8_t* frame, int length);

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
