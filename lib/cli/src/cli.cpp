#include "cli/cli.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <getopt.h>

namespace cli {

namespace {

// getopt_long's answers for the options every program has. A program's own
// options answer their letter, or long_only_base plus their index.
constexpr int help_id = 'h';
constexpr int version_id = 256;
constexpr int long_only_base = 257;

int id_of(const option& own, std::size_t index)
{
    return own.letter != 0 ? own.letter : long_only_base + static_cast<int>(index);
}

const option* own_option(std::span<const option> options, int id)
{
    for (std::size_t index = 0; index < options.size(); ++index) {
        if (id_of(options[index], index) == id) {
            return &options[index];
        }
    }
    return nullptr;
}

std::string name_of(std::span<const option> options, int id)
{
    if (id == help_id) {
        return "--help";
    }
    if (id == version_id) {
        return "--version";
    }
    const option* own = own_option(options, id);
    return own != nullptr ? "--" + std::string(own->name) : "-" + std::string(1, static_cast<char>(id));
}

// getopt_long's table and letters for the program's options and the common ones.
struct getopt_tables {
    std::vector<::option> long_options;
    std::string letters;
};

getopt_tables tables_for(const program& which, std::span<const option> options)
{
    // "+": stop at the first operand; ":": report a missing value apart.
    getopt_tables tables{{}, which.options_before_operands ? "+:h" : ":h"};
    for (std::size_t index = 0; index < options.size(); ++index) {
        const option& own = options[index];
        tables.long_options.push_back(
            {own.name, own.takes_value ? required_argument : no_argument, nullptr, id_of(own, index)});
        if (own.letter != 0) {
            tables.letters += own.letter;
            tables.letters += own.takes_value ? ":" : "";
        }
    }
    tables.long_options.push_back({"help", no_argument, nullptr, help_id});
    tables.long_options.push_back({"version", no_argument, nullptr, version_id});
    tables.long_options.push_back({});
    return tables;
}

// getopt_long's '?' after the option at argv[optind - 1]: an unknown
// option (optopt 0 for a long one, else its letter), or one of ours given
// a value it does not take (optopt is then its answer).
std::string refusal(std::span<const option> options, char** argv)
{
    const bool known = optopt == help_id || optopt == version_id || own_option(options, optopt) != nullptr;
    if (known) {
        return "option " + name_of(options, optopt) + " takes no value";
    }
    const std::string given =
        optopt == 0 ? argv[optind - 1] : "-" + std::string(1, static_cast<char>(optopt));
    return "unknown option " + given;
}

void put(std::string_view text, std::FILE* stream)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

// The status for an answer printed on stdout: a usage or version that
// could not be written (a full disk, a closed pipe) is no answer.
int written_answer(const program& which)
{
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return exit_ok;
    }
    std::fprintf(stderr, "%.*s: can't write the answer: %s\n", static_cast<int>(which.name.size()),
                 which.name.data(), std::strerror(errno));
    return exit_failure;
}

} // namespace

command_line parse(int argc, char** argv, const program& which, std::span<const option> options,
                   const option_reader& read)
{
    const getopt_tables tables = tables_for(which, options);
    command_line line;
    optind = 0; // a fresh scan, also for a second parse in one process
    opterr = 0; // the reasons are ours to give
    int found = 0;
    while (!line.help && !line.version && line.error.empty() &&
           (found = getopt_long(argc, argv, tables.letters.c_str(), tables.long_options.data(), nullptr)) !=
               -1) {
        if (found == help_id) {
            line.help = true;
        } else if (found == version_id) {
            line.version = true;
        } else if (found == '?') {
            line.error = refusal(options, argv);
        } else if (found == ':') {
            line.error = "option " + name_of(options, optopt) + " needs a value";
        } else {
            line.error = read(own_option(options, found)->name, optarg != nullptr ? optarg : "");
        }
    }
    if (line.error.empty()) {
        line.operands.assign(argv + optind, argv + argc);
    }
    return line;
}

std::optional<int> answer(const program& which, const command_line& line)
{
    if (line.help) {
        put(which.usage, stdout);
        return written_answer(which);
    }
    if (line.version) {
        std::printf("%.*s %s\n", static_cast<int>(which.name.size()), which.name.data(), FSLOG_VERSION);
        return written_answer(which);
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(which.name.size()), which.name.data(),
                     line.error.c_str());
        put(which.usage, stderr);
        return exit_usage;
    }
    return std::nullopt;
}

std::optional<int> answer_help_or_version(const program& which, int argc, char** argv)
{
    if (argc != 2) {
        return std::nullopt;
    }
    const std::string_view argument = argv[1];
    command_line line;
    line.help = argument == "-h" || argument == "--help";
    line.version = argument == "--version";
    return line.help || line.version ? answer(which, line) : std::nullopt;
}

} // namespace cli
