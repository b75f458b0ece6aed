// What can go wrong with one reply on its way to the host: the faults by
// name, and what each does to the reply.
#pragma once

#include "unit/unit_side.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// Each fault's name is in the one table of them in faults.cpp, from which
// the help and a bad --faults' complaint list them too.
enum class fault : std::uint8_t { none, silence, header, payload, stray, cut };

// The faults a reply can be given: every one but none, in the enum's order.
constexpr std::array<fault, static_cast<std::size_t>(fault::cut)> injectable_faults()
{
    std::array<fault, static_cast<std::size_t>(fault::cut)> kinds{};
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        kinds[i] = static_cast<fault>(i + 1);
    }
    return kinds;
}
inline constexpr auto fault_kinds = injectable_faults();

// "none", "silence", "header", "payload", "stray", "cut": as --faults takes
// them and the record file and the tally write them.
const char* fault_name(fault kind);
std::optional<fault> fault_from_name(std::string_view name);

// The names of fault_kinds in a list, as the help and a bad --faults give
// it: "silence, header, payload, stray, cut".
std::string fault_list();

// The extra byte a `stray` fault puts after a reply: a spurious start bit on
// an idle line reads as 0xFF. It never equals a reply's header check byte, so
// the reply it heads always fails its header check.
inline constexpr std::uint8_t stray_byte = 0xFF;

// A reply as a fault leaves it: the bytes sent now, and for `cut` the rest,
// which the unit sends only after a pause.
struct faulted_reply {
    unit::bytes now;
    unit::bytes later;
};

// `silence` drops the reply, `header` and `payload` spoil that check,
// `stray` appends stray_byte, `cut` holds back the second half.
faulted_reply apply_fault(unit::bytes reply, fault kind);

} // namespace sim
