#include "sim/options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

namespace sim {

namespace {

// An FTDI chip's latency timer counts whole milliseconds in one byte.
constexpr unsigned max_adapter_latency_ms = 255;

// Parses all of `text` as a number, or nothing.
template <typename Number> std::optional<Number> whole_number(const std::string& text)
{
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::size_t> fault_index(const std::string& name)
{
    const auto kind = fault_from_name(name);
    const auto* found = kind ? std::find(fault_kinds.begin(), fault_kinds.end(), *kind) : fault_kinds.end();
    if (found == fault_kinds.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - fault_kinds.begin());
}

// Reads one "KIND=P" item into `rates`; false with the reason in `error`.
bool add_fault_rate(const std::string& item, fault_rates& rates, std::array<bool, fault_kinds.size()>& seen,
                    std::string& error)
{
    const std::size_t equals = item.find('=');
    const std::string name = item.substr(0, equals);
    const auto index = fault_index(name);
    if (equals == std::string::npos || !index) {
        error = "bad fault '" + item + "' (KIND=P with KIND one of " + fault_list() + ")";
        return false;
    }
    const auto chance = whole_number<double>(item.substr(equals + 1));
    if (!chance || !std::isfinite(*chance) || *chance < 0.0 || *chance > 1.0) {
        error = "bad chance in '" + item + "' (a number from 0 to 1)";
        return false;
    }
    if (seen[*index]) {
        error = "fault '" + name + "' given twice";
        return false;
    }
    seen[*index] = true;
    rates[*index] = *chance;
    return true;
}

constexpr std::array<cli::option, 6> option_table{{
    {.name = "fast"},
    {.name = "adapter-latency", .takes_value = true},
    {.name = "faults", .takes_value = true},
    {.name = "seed", .takes_value = true},
    {.name = "record", .takes_value = true},
    {.name = "link", .takes_value = true},
}};

std::string read_adapter_latency(sim_options& options, const std::string& text)
{
    options.adapter_latency_ms = whole_number<unsigned>(text).value_or(0);
    if (options.adapter_latency_ms < 1 || options.adapter_latency_ms > max_adapter_latency_ms) {
        return "bad adapter latency '" + text + "' (1 to 255 ms)";
    }
    return {};
}

std::string read_seed(sim_options& options, const std::string& text)
{
    options.seed = whole_number<std::uint64_t>(text);
    return options.seed ? "" : "bad seed '" + text + "' (a whole number)";
}

// One option as given; why its value is bad, or nothing.
std::string read_option(sim_options& options, std::string_view name, const std::string& value)
{
    std::string error;
    if (name == "fast") {
        options.fast = true;
    } else if (name == "adapter-latency") {
        error = read_adapter_latency(options, value);
    } else if (name == "faults") {
        options.faults = parse_fault_rates(value, error).value_or(fault_rates{});
    } else if (name == "seed") {
        error = read_seed(options, value);
    } else if (name == "record") {
        options.record_path = value;
    } else {
        options.link_path = value;
    }
    return error;
}

std::string usage()
{
    return "Usage: fslog-sim [OPTIONS] [--] COMMAND [ARG...]\n"
           "       fslog-sim [OPTIONS] --link PATH\n"
           "Plays a frequency-source unit on a pseudo-terminal. COMMAND runs with the\n"
           "device path as its last argument; with --link, PATH becomes a symlink to it.\n"
           "  --fast               answer at once instead of at 9600 baud\n"
           "  --adapter-latency MS pass replies on in bursts, as a USB adapter's timer does\n"
           "  --faults KIND=P,...  chance per reply of: " +
           fault_list() +
           "\n"
           "  --seed N             repeat a run's readings and faults\n"
           "  --record FILE        write one line per command: time, code, fault, bytes\n"
           "  --link PATH          serve until stopped, under the symlink PATH\n"
           "  -h, --help           show this text\n"
           "  --version            show the version\n";
}

} // namespace

const cli::program& program()
{
    static const std::string text = usage();
    static const cli::program fslog_sim{"fslog-sim", text, true};
    return fslog_sim;
}

std::optional<fault_rates> parse_fault_rates(const std::string& spec, std::string& error)
{
    fault_rates rates{};
    std::array<bool, fault_kinds.size()> seen{};
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = spec.find(',', start);
        if (!add_fault_rate(spec.substr(start, comma - start), rates, seen, error)) {
            return std::nullopt;
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    // One draw picks at most one fault per reply, so the chances share 1.
    if (std::accumulate(rates.begin(), rates.end(), 0.0) > 1.0 + 1e-9) {
        error = "fault chances add up to more than 1";
        return std::nullopt;
    }
    return rates;
}

parsed_options parse_options(int argc, char** argv)
{
    parsed_options parsed;
    sim_options& options = parsed.options;
    parsed.line = cli::parse(argc, argv, program(), option_table,
                             [&options](std::string_view name, std::string_view value) {
                                 return read_option(options, name, std::string(value));
                             });
    options.command = parsed.line.operands;
    if (parsed.line.error.empty() && options.link_path.empty() == options.command.empty()) {
        parsed.line.error = "give either --link PATH or -- COMMAND";
    }
    return parsed;
}

} // namespace sim
