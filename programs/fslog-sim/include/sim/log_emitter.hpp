// fslog's log of a stretch of the unit's time, written at once: the host
// that fslog runs on is played instead of waited for.
//
// The host's model, from fslog run under fslog-sim (19.8 rows a second,
// 50.4 ms a row against 49.0 ms of bytes on the line):
//   - a row starts with its elapsed time, then the ADC, DDS and tuning
//     exchanges run one after another, each a 4-byte command and its reply
//     at 9600 baud (17 + 17 + 13 byte times);
//   - the ADC exchange, which makes every row's DDS and tuning readings
//     late, takes 18 ms at the median with a sd of 2 ms, and now and then
//     (one in 10000) up to 90 ms more; the DDS and tuning exchanges take
//     their bytes' time and 0.5 ms of the host's;
//   - a reply that stays silent, or stops halfway (cut), fails after the
//     reply timeout; a bad header, a bad ADC payload or a stray byte
//     before the reply (left by the one before) fails as soon as the
//     bytes are read; every failure then costs the reset pause. A DDS or
//     tuning reply with a bad payload is printed with "(CS bad!) ".
// The unit, its faults (one draw per reply, as with the line) and the log's
// text are the ones fslog meets and prints.
#pragma once

#include "sim/fault_picker.hpp"
#include "sim/unit_model.hpp"

#include <cstdint>
#include <cstdio>

namespace sim {

// Writes to `out` the start line (with the time now), the header and the
// rows of `seconds` of the unit's time, the last row without a line end, as
// fslog leaves it.
// The host's delays are drawn from `seed`, apart from the unit's and the
// faults' draws. Returns the number of commands the unit answered; throws
// std::system_error when `out` can't be written.
std::uint64_t emit_log(unit_model& unit, fault_picker& faults, double seconds, std::uint64_t seed,
                       std::FILE* out);

} // namespace sim
