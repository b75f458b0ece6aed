// The line's timing, for both ends: the speed the unit talks at, how long
// fslog waits for a reply, and how long a reset keeps the line quiet.
#pragma once

#include <termios.h>

namespace protocol {

// 9600 baud, 8N1: a byte is 10 bit times on the wire.
inline constexpr speed_t line_speed = B9600;
inline constexpr double baud = 9600.0;
inline constexpr double byte_seconds = 10.0 / baud;

// A read on the port ends with nothing after this much silence (termios
// VTIME counts tenths of a second), so a silent unit costs one timeout.
inline constexpr unsigned char reply_timeout_tenths = 20;
inline constexpr double reply_timeout_seconds = reply_timeout_tenths / 10.0;

// After a failed exchange the line is flushed, left quiet this long, so
// that whatever the unit was still sending has arrived and can be flushed
// too, and configured again.
inline constexpr unsigned reset_pause_seconds = 4;

} // namespace protocol
