// Which replies the simulated unit spoils, and a tally of what it spoiled.
#pragma once

#include "sim/faults.hpp"
#include "sim/options.hpp"

#include <cstdint>
#include <random>
#include <string>

namespace sim {

class fault_picker {
public:
    fault_picker(const fault_rates& rates, std::uint64_t seed);

    // One draw per answered reply: a fault with its chance, else none.
    fault pick();

    // The one-line tally written when the simulator ends, e.g.
    // "fslog-sim: 120 commands, 2 faults injected (silence 1, header 0,
    // payload 0, stray 1, cut 0), seed 42".
    std::string summary(std::uint64_t commands) const;

private:
    fault_rates rates_;
    std::uint64_t seed_;
    std::mt19937_64 random_;
    std::array<std::uint64_t, fault_kinds.size()> injected_{};
};

} // namespace sim
