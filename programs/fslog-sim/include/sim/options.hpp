// fslog-sim's command line.
#pragma once

#include "cli/cli.hpp"
#include "unit/unit_side.hpp"

#include <array>
#include <cstdint>
#include <optional>
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
    cli::command_line line; // help, version or an error, and the command
};

// Options end at the command, whose own options are its own.
inline constexpr cli::program program{
    "fslog-sim",
    "Usage: fslog-sim [OPTIONS] [--] COMMAND [ARG...]\n"
    "       fslog-sim [OPTIONS] --link PATH\n"
    "Plays a frequency-source unit on a pseudo-terminal. COMMAND runs with the\n"
    "device path as its last argument; with --link, PATH becomes a symlink to it.\n"
    "  --fast               answer at once instead of at 9600 baud\n"
    "  --adapter-latency MS pass replies on in bursts, as a USB adapter's timer does\n"
    "  --faults KIND=P,...  chance per reply of: silence, header, payload, stray, cut\n"
    "  --seed N             repeat a run's readings and faults\n"
    "  --record FILE        write one line per command: time, code, fault, bytes\n"
    "  --link PATH          serve until stopped, under the symlink PATH\n"
    "  -h, --help           show this text\n"
    "  --version            show the version\n",
    true};

parsed_options parse_options(int argc, char** argv);

// "silence=0.05,cut=0.01": each kind at most once, each chance in [0, 1],
// their sum at most 1. Nothing on error, with the reason in `error`.
std::optional<fault_rates> parse_fault_rates(const std::string& spec, std::string& error);

} // namespace sim
