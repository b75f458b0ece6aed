// A stand-in for the port layer, linked in place of the real one: it serves
// a byte string as the line's bytes and records what the exchanges did with
// it, and a reset costs nothing instead of pausing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace line_stand_in {

// Serves `bytes` as everything the unit will ever send.
void serve(std::span<const std::uint8_t> bytes);

// The bytes handed out since the last command was written: the current reply.
std::span<const std::uint8_t> current_reply();

// How many resets and command writes the code has made since serve().
int resets();
int commands();

} // namespace line_stand_in
