// The command line every fslog program follows, on getopt_long:
//   -h, --help   prints the usage on standard output; exit_ok.
//   --version    prints the program's name and the project's version; exit_ok.
//                Either, when its output can't be written: a line saying
//                why on standard error; exit_failure.
//   a bad option, a missing value or bad operands: one line saying why,
//                then the usage, on standard error; exit_usage.
// Each program keeps its own options and operands, and reads them itself.
#pragma once

#include "cli/exit_status.hpp"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct program {
    std::string_view name;  // as installed: for messages and --version
    std::string_view usage; // the whole usage text, ending with a newline
    // Options end at the first operand, because it begins a command with
    // options of its own. Otherwise options and operands may mix.
    bool options_before_operands = false;
};

// One of a program's own options.
struct option {
    const char* name; // the long name, without its dashes
    bool takes_value = false;
    char letter = 0; // the short form, or 0 for none
};

// Reads one of the program's own options as given, with its value (empty
// for an option that takes none). Returns why the value is bad, or an
// empty text.
using option_reader = std::function<std::string(std::string_view name, std::string_view value)>;

struct command_line {
    std::vector<std::string> operands; // what follows the options, in order
    bool help = false;
    bool version = false;
    std::string error; // why the command line is bad; empty when it is good
};

// Reads argv[1..argc) with getopt_long; stops at --help, --version or the
// first bad option. The program checks the operands itself, setting
// `error` for bad ones.
command_line parse(int argc, char** argv, const program& which, std::span<const option> options,
                   const option_reader& read);

// Answers --help, --version or a bad command line, in that order: prints
// what it calls for and returns the status to leave with. Nothing when the
// program goes on.
std::optional<int> answer(const program& which, const command_line& line);

// For a program that takes its arguments as they come (fslog, whose one
// argument is the device): answers a lone -h, --help or --version as above,
// and nothing else. Uses no heap.
std::optional<int> answer_help_or_version(const program& which, int argc, char** argv);

} // namespace cli
