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

// The comma-separated items of `spec`.
std::vector<std::string> items_of(const std::string& spec)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t comma = spec.find(','); comma != std::string::npos; comma = spec.find(',', start)) {
        items.push_back(spec.substr(start, comma - start));
        start = comma + 1;
    }
    items.push_back(spec.substr(start));
    return items;
}

// The oscillator's settings by name, and whether each may be negative.
struct oscillator_term {
    const char* name;
    double oscillator_settings::*value;
    // cppcheck-suppress unusedStructMember ; read through the table's pointer
    bool signed_value;
};
constexpr std::array<oscillator_term, 4> oscillator_terms{{
    {"wfm", &oscillator_settings::white_fm, false},
    {"rwfm", &oscillator_settings::random_walk_fm, false},
    {"drift", &oscillator_settings::drift, true},
    {"tempco", &oscillator_settings::tempco, true},
}};

// Reads one "NAME=X" item into `settings`; false with the reason in `error`.
bool add_oscillator_term(const std::string& item, oscillator_settings& settings,
                         std::array<bool, oscillator_terms.size()>& seen, std::string& error)
{
    const std::size_t equals = item.find('=');
    const std::string name = item.substr(0, equals);
    const auto* term = std::find_if(oscillator_terms.begin(), oscillator_terms.end(),
                                    [&name](const oscillator_term& known) { return name == known.name; });
    const auto value = whole_number<double>(equals == std::string::npos ? "" : item.substr(equals + 1));
    if (term == oscillator_terms.end() || !value || !std::isfinite(*value) ||
        (*value < 0.0 && !term->signed_value)) {
        error = "bad oscillator term '" + item + "' (wfm=A, rwfm=B with A, B >= 0, drift=D, tempco=C)";
        return false;
    }
    auto& once = seen[static_cast<std::size_t>(term - oscillator_terms.begin())];
    if (once) {
        error = "oscillator term '" + name + "' given twice";
        return false;
    }
    once = true;
    settings.*(term->value) = *value;
    return true;
}

constexpr std::array<cli::option, 10> option_table{{
    {.name = "fast"},
    {.name = "adapter-latency", .takes_value = true},
    {.name = "faults", .takes_value = true},
    {.name = "seed", .takes_value = true},
    {.name = "record", .takes_value = true},
    {.name = "link", .takes_value = true},
    {.name = "oscillator", .takes_value = true},
    {.name = "tuning-lsb", .takes_value = true},
    {.name = "truth", .takes_value = true},
    {.name = "emit-log", .takes_value = true},
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

// A positive finite number, or nothing.
std::optional<double> positive_number(const std::string& text)
{
    const auto value = whole_number<double>(text);
    return value && std::isfinite(*value) && *value > 0.0 ? value : std::nullopt;
}

std::string read_emit_log(sim_options& options, const std::string& text)
{
    options.emit_log_seconds = positive_number(text);
    return options.emit_log_seconds ? "" : "bad --emit-log '" + text + "' (seconds, above 0)";
}

// The options of the steered unit; why a value is bad, or nothing.
std::string read_oscillator_option(sim_options& options, std::optional<double>& tuning_lsb,
                                   std::string_view name, const std::string& value)
{
    std::string error;
    if (name == "oscillator") {
        options.oscillator = parse_oscillator(value, error);
    } else if (name == "tuning-lsb") {
        tuning_lsb = positive_number(value);
        error = tuning_lsb ? "" : "bad tuning LSB '" + value + "' (a fractional frequency above 0)";
    } else {
        options.truth_path = value;
    }
    return error;
}

// One option as given; why its value is bad, or nothing.
std::string read_option(sim_options& options, std::optional<double>& tuning_lsb, std::string_view name,
                        const std::string& value)
{
    std::string error;
    if (name == "oscillator" || name == "tuning-lsb" || name == "truth") {
        error = read_oscillator_option(options, tuning_lsb, name, value);
    } else if (name == "emit-log") {
        error = read_emit_log(options, value);
    } else if (name == "fast") {
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
           "       fslog-sim [OPTIONS] --emit-log SECONDS\n"
           "Plays a frequency-source unit on a pseudo-terminal. COMMAND runs with the\n"
           "device path as its last argument; with --link, PATH becomes a symlink to it.\n"
           "With --emit-log, writes at once the log fslog would write over SECONDS of\n"
           "the unit's time.\n"
           "  --fast               answer at once instead of at 9600 baud\n"
           "  --adapter-latency MS pass replies on in bursts, as a USB adapter's timer does\n"
           "  --faults KIND=P,...  chance per reply of: " +
           fault_list() +
           "\n"
           "  --seed N             repeat a run's readings and faults\n"
           "  --record FILE        write one line per command: time, code, fault, bytes\n"
           "  --link PATH          serve until stopped, under the symlink PATH\n"
           "  --emit-log SECONDS   write fslog's log of SECONDS of unit time on stdout\n"
           "  --oscillator wfm=A,rwfm=B,drift=D,tempco=C\n"
           "                       steer an oscillator of white FM A (ADEV at 1 s),\n"
           "                       random-walk FM B (ADEV B*sqrt(tau)), drift D a\n"
           "                       second, C per temperature count; each 0 if not given\n"
           "  --tuning-lsb K       fractional frequency per tuning count (default 1e-12)\n"
           "  --truth FILE         write the oscillator's seconds: t, y, u, temperature\n"
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
    for (const std::string& item : items_of(spec)) {
        if (!add_fault_rate(item, rates, seen, error)) {
            return std::nullopt;
        }
    }
    // One draw picks at most one fault per reply, so the chances share 1.
    if (std::accumulate(rates.begin(), rates.end(), 0.0) > 1.0 + 1e-9) {
        error = "fault chances add up to more than 1";
        return std::nullopt;
    }
    return rates;
}

std::optional<oscillator_settings> parse_oscillator(const std::string& spec, std::string& error)
{
    oscillator_settings settings;
    std::array<bool, oscillator_terms.size()> seen{};
    for (const std::string& item : items_of(spec)) {
        if (!add_oscillator_term(item, settings, seen, error)) {
            return std::nullopt;
        }
    }
    return settings;
}

namespace {

// What is wrong with the options taken together, or nothing.
std::string check_together(const sim_options& options, const std::optional<double>& tuning_lsb)
{
    const int modes = int(!options.link_path.empty()) + int(!options.command.empty()) +
                      int(options.emit_log_seconds.has_value());
    if (modes != 1) {
        return "give one of --link PATH, --emit-log SECONDS or -- COMMAND";
    }
    if (!options.oscillator && (tuning_lsb || !options.truth_path.empty())) {
        return "--tuning-lsb and --truth need --oscillator";
    }
    return {};
}

} // namespace

parsed_options parse_options(int argc, char** argv)
{
    parsed_options parsed;
    sim_options& options = parsed.options;
    std::optional<double> tuning_lsb;
    parsed.line = cli::parse(argc, argv, program(), option_table,
                             [&options, &tuning_lsb](std::string_view name, std::string_view value) {
                                 return read_option(options, tuning_lsb, name, std::string(value));
                             });
    options.command = parsed.line.operands;
    if (parsed.line.error.empty()) {
        parsed.line.error = check_together(options, tuning_lsb);
    }
    if (options.oscillator && tuning_lsb) {
        options.oscillator->tuning_lsb = *tuning_lsb;
    }
    return parsed;
}

} // namespace sim
