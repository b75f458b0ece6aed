// The one serial port of the process: open, line settings, exact-length
// reads and the reset that resynchronises the link after a failed exchange.
//
// The line runs 8N1, raw, at the speed and with the reply timeout of
// protocol/line_timing.hpp. Every
// call here reports failure through its return value only; nothing is
// printed and nothing is retried behind the caller's back.
#pragma once

#include <cstdint>

// Opens `device` read/write without making it our controlling terminal,
// takes an exclusive lock on it so that a second program cannot talk over
// us, and applies the line settings. Returns 1 on success; 0 when the path
// cannot be opened, is locked by another process, or is no serial line.
// On failure nothing stays open, and serial_open_error() says why.
int serial_init(const char* device);

// Why the last open of the port failed (serial_init's, or a reset's reopen
// of a line that went), for a caller that wants to say so.
struct port_open_error {
    // errno of the call that failed, taken at once; 0 after a good open.
    int error = 0;
    // The exclusive lock was refused: another program holds the port.
    bool held_elsewhere = false;
};
port_open_error serial_open_error();

// Called after every failed exchange: flushes the line, pauses for
// protocol::reset_pause_seconds, flushes
// whatever arrived meanwhile and applies the settings again. When the line
// is gone (an adapter that dropped off the bus) it closes the descriptor
// and reopens the same path instead. Does nothing, and does not pause,
// before the first successful serial_init.
void serial_reset();

// Reads exactly `count` bytes into `dest`. Returns `count`, or 0 as soon as
// one read brings nothing (a reply timeout of silence, end of file or an error).
// Bytes that arrived before a failure stay in `dest`. Never reads more than
// `count` bytes. Returns 0 at once when `count` <= 0.
int read_reply(std::uint8_t* dest, int count);

// Hands `count` bytes to one write on the port. The result is not reported:
// a lost command shows up as a reply timeout. A failure is remembered so
// that the next reset can tell a dead line from a silent unit.
void serial_write(const std::uint8_t* src, int count);
