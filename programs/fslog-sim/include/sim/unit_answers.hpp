// A whole unit's answers: which codes it answers, and with what.
#pragma once

#include "unit/unit_side.hpp"

#include <array>
#include <cstdint>

namespace sim {

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
unit::bytes answer(std::uint8_t code, const unit_state& state);

// The DDS 2 rate that the 0x65 reply reports and the simulated unit keeps.
inline constexpr std::uint32_t dds2_counts_per_second = 100000;

} // namespace sim
