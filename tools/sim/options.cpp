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
    const auto kind = unit::fault_from_name(name);
    const auto* found =
        kind ? std::find(unit::fault_kinds.begin(), unit::fault_kinds.end(), *kind) : unit::fault_kinds.end();
    if (found == unit::fault_kinds.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - unit::fault_kinds.begin());
}

// Reads one "KIND=P" item into `rates`; false with the reason in `error`.
bool add_fault_rate(const std::string& item, fault_rates& rates,
                    std::array<bool, unit::fault_kinds.size()>& seen, std::string& error)
{
    const std::size_t equals = item.find('=');
    const std::string name = item.substr(0, equals);
    const auto index = fault_index(name);
    if (equals == std::string::npos || !index) {
        error = "bad fault '" + item + "' (KIND=P with KIND one of silence, header, payload, stray, cut)";
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

} // namespace

std::optional<fault_rates> parse_fault_rates(const std::string& spec, std::string& error)
{
    fault_rates rates{};
    std::array<bool, unit::fault_kinds.size()> seen{};
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

parsed_options parse_options(std::span<const std::string> args)
{
    parsed_options parsed;
    sim_options& options = parsed.options;
    const auto value_of = [&](std::size_t& i) -> const std::string* {
        if (i + 1 >= args.size()) {
            parsed.error = "option " + args[i] + " needs a value";
            return nullptr;
        }
        return &args[++i];
    };
    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            if (options.command.empty()) {
                parsed.error = "no command after --";
            }
            break;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--adapter-latency") {
            if (const std::string* text = value_of(i)) {
                options.adapter_latency_ms = whole_number<unsigned>(*text).value_or(0);
                if (options.adapter_latency_ms < 1 || options.adapter_latency_ms > max_adapter_latency_ms) {
                    parsed.error = "bad adapter latency '" + *text + "' (1 to 255 ms)";
                }
            }
        } else if (arg == "--faults") {
            if (const std::string* spec = value_of(i)) {
                options.faults = parse_fault_rates(*spec, parsed.error).value_or(fault_rates{});
            }
        } else if (arg == "--seed") {
            if (const std::string* text = value_of(i)) {
                options.seed = whole_number<std::uint64_t>(*text);
                if (!options.seed) {
                    parsed.error = "bad seed '" + *text + "' (a whole number)";
                }
            }
        } else if (arg == "--record") {
            if (const std::string* path = value_of(i)) {
                options.record_path = *path;
            }
        } else if (arg == "--link") {
            if (const std::string* path = value_of(i)) {
                options.link_path = *path;
            }
        } else {
            parsed.error = "unknown option '" + arg + "'";
        }
    }
    if (parsed.error.empty() && !parsed.help && options.link_path.empty() == options.command.empty()) {
        parsed.error = "give either --link PATH or -- COMMAND";
    }
    return parsed;
}

std::string usage_text(const std::string& program)
{
    return "Usage: " + program +
           " [OPTIONS] -- COMMAND [ARG...]\n"
           "       " +
           program +
           " [OPTIONS] --link PATH\n"
           "Plays a frequency-source unit on a pseudo-terminal. COMMAND runs with the\n"
           "device path as its last argument; with --link, PATH becomes a symlink to it.\n"
           "  --fast               answer at once instead of at 9600 baud\n"
           "  --adapter-latency MS pass replies on in bursts, as a USB adapter's timer does\n"
           "  --faults KIND=P,...  chance per reply of: silence, header, payload, stray, cut\n"
           "  --seed N             repeat a run's readings and faults\n"
           "  --record FILE        write one line per command: time, code, fault, bytes\n"
           "  -h, --help           show this text\n";
}

} // namespace sim
