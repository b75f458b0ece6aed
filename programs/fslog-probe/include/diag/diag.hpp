// Test queries for further command codes of the unit, and a dump of any
// code's reply. The row loop does not use them; they are there for other
// code (such as fslog-probe) to call while looking into a unit.
//
// Each makes one exchange and prints, without a line end, in the same
// space-separated style as a log row. A failed exchange has reset the line
// (protocol::reset_pause_seconds); the fixed-code queries then print nothing.
#pragma once

#include <cstdint>

// 0x53: a 7-byte reply holding one unsigned 16-bit little-endian value in
// bytes 4-5, printed with "%4d ".
void test_53_command();

// 0x29: a 9-byte reply holding four bytes 4-7, printed in that order, each
// unsigned with "%3d ".
void test_29_command();

// Variable-length replies: "cs ok " when the payload check passes, then the
// payload bytes from the last (the check byte) down to byte 4, each
// unsigned with "%3d ".
void test_2b_command();
void test_47_command();
void test_5a_command();
void test_61_command();
void test_65_command();
void test_67_command();

// Sends `code` and dumps the reply:
//   "\n#\n# Cmd 0x%2.2X " code, the exchange's "cs ok " if any,
//   "0x%2.2X byte reply: " length (00 when the exchange failed),
//   "[%2.2X] " for every reply byte, header included,
//   "\n# ASCII (.): " the bytes as text, '.' for any outside 0x20-0x7E,
//   "\n# ASCII ( ): " the same with a space instead of '.'.
// No line end follows.
void test_command(std::uint8_t code);
