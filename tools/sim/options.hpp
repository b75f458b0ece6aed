// fslog-sim's command line.
#pragma once

#include "unit/unit_side.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

// Chance of each fault per reply, in the order of unit::fault_kinds.
using fault_rates = std::array<double, unit::fault_kinds.size()>;

struct sim_options {
    bool fast = false;
    // The latency timer of a USB adapter to play, in ms; 0 for none.
    unsigned adapter_latency_ms = 0;
    fault_rates faults{};
    std::optional<std::uint64_t> seed;
    std::string record_path;
    // Exactly one of these two is set: the symlink to serve under, or the
    // command to run with the device path appended.
    std::string link_path;
    std::vector<std::string> command;
};

struct parsed_options {
    sim_options options;
    bool help = false;
    std::string error; // empty when the command line is good
};

// Parses the arguments after the program name.
parsed_options parse_options(std::span<const std::string> args);

// "silence=0.05,cut=0.01": each kind at most once, each chance in [0, 1],
// their sum at most 1. Nothing on error, with the reason in `error`.
std::optional<fault_rates> parse_fault_rates(const std::string& spec, std::string& error);

// The usage text, for stdout (--help) or stderr (a bad command line).
std::string usage_text(const std::string& program);

} // namespace sim
