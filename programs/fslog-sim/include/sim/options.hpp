// fslog-sim's command line.
#pragma once

#include "cli/cli.hpp"
#include "sim/faults.hpp"
#include "sim/oscillator.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Chance of each fault per reply, in the order of fault_kinds.
using fault_rates = std::array<double, fault_kinds.size()>;

struct sim_options {
    bool fast = false;
    // The latency timer of a USB adapter to play, in ms; 0 for none.
    unsigned adapter_latency_ms = 0;
    fault_rates faults{};
    std::optional<std::uint64_t> seed;
    std::string record_path;
    // The oscillator the unit steers, tuning_lsb included; none for the
    // unit of old.
    std::optional<oscillator_settings> oscillator;
    std::string truth_path;
    // Exactly one of these three is set: the symlink to serve under, the
    // command to run with the device path appended, or the unit time in
    // seconds whose log to write on stdout.
    std::string link_path;
    std::vector<std::string> command;
    std::optional<double> emit_log_seconds;
};

struct parsed_options {
    sim_options options;
    cli::command_line line; // help, version or an error, and the command
};

// The program, with a usage that lists the faults from their table.
// Options end at the command, whose own options are its own.
const cli::program& program();

parsed_options parse_options(int argc, char** argv);

// "silence=0.05,cut=0.01": each kind at most once, each chance in [0, 1],
// their sum at most 1. Nothing on error, with the reason in `error`.
std::optional<fault_rates> parse_fault_rates(const std::string& spec, std::string& error);

// "wfm=1e-11,rwfm=1e-13": any of wfm, rwfm, drift, tempco, each at most
// once; wfm and rwfm not negative. Nothing on error, with the reason in
// `error`.
std::optional<oscillator_settings> parse_oscillator(const std::string& spec, std::string& error);

} // namespace sim
