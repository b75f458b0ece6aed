#include "sim/log_emitter.hpp"

#include "protocol/line_timing.hpp"
#include "protocol/log_text.hpp"
#include "protocol/protocol.hpp"
#include "sim/draws.hpp"
#include "sim/faults.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <random>
#include <system_error>

namespace sim {

namespace {

namespace log_text = protocol::log_text;
using protocol::byte_seconds;

constexpr double command_seconds = protocol::header_length * byte_seconds;
constexpr double host_seconds_per_exchange = 0.0005;
constexpr double adc_exchange_median = 0.018;
constexpr double adc_exchange_sd = 0.002;
constexpr double adc_outlier_chance = 1e-4;
constexpr double adc_outlier_most = 0.090;
// Keeps the host's draws apart from the unit's and the faults'.
constexpr std::uint64_t host_stream = 0x94D049BB133111EB;

// How fslog reads a reply: tx_command reads the fixed length and checks
// both parts, tx_command_3 reads the header, then the length it gives.
enum class reading { fixed, by_header };

struct exchange_outcome {
    bool ok = false;
    bool payload_bad = false; // printed as "(CS bad!) " before the values
    double end = 0;           // when the host goes on
    unit_state state;
};

class host {
public:
    host(unit_model& unit, fault_picker& faults, std::uint64_t seed)
        : unit_(unit), faults_(faults), random_(seed ^ host_stream)
    {
    }

    exchange_outcome exchange(std::uint8_t code, reading how, double start);
    double adc_exchange_end(double start, double wire_end);
    std::uint64_t commands() const { return commands_; }

private:
    void read_reply(exchange_outcome& outcome, reading how, fault kind, const faulted_reply& reply,
                    std::size_t length, double received);

    unit_model& unit_;
    fault_picker& faults_;
    std::mt19937_64 random_;
    std::uint64_t commands_ = 0;
    bool stray_waiting_ = false; // a stray byte sits before the next reply
};

// The ADC exchange's end on the host's clock: its drawn length, but never
// before its bytes are in.
double host::adc_exchange_end(double start, double wire_end)
{
    double length = adc_exchange_median + adc_exchange_sd * standard_normal(random_);
    if (unit_interval(random_) < adc_outlier_chance) {
        length += adc_outlier_most * unit_interval(random_);
    }
    return std::max(wire_end, start + length);
}

// The bytes the host can read before the line goes quiet: a stray byte
// left waiting, then the reply as far as it comes at once. A read that
// wants more waits out the reply timeout after the last byte.
void host::read_reply(exchange_outcome& outcome, reading how, fault kind, const faulted_reply& reply,
                      std::size_t length, double received)
{
    const std::size_t stray = stray_waiting_ ? 1 : 0;
    const std::size_t arrived = stray + reply.now.size();
    const bool header_good = stray == 0 && kind != fault::header;
    const std::size_t first_read = how == reading::fixed ? length : protocol::header_length;
    const std::size_t wanted = how == reading::fixed || !header_good ? first_read : length;
    if (arrived < wanted) {
        outcome.end =
            received + static_cast<double>(reply.now.size()) * byte_seconds + protocol::reply_timeout_seconds;
        return;
    }
    outcome.end = received + static_cast<double>(wanted - stray) * byte_seconds;
    outcome.ok = header_good && (how == reading::by_header || kind != fault::payload);
    outcome.payload_bad = outcome.ok && kind == fault::payload;
}

exchange_outcome host::exchange(std::uint8_t code, reading how, double start)
{
    ++commands_;
    const double received = start + command_seconds;
    exchange_outcome outcome;
    outcome.state = unit_.at(received);
    const unit::bytes reply = answer(code, outcome.state);
    const fault kind = faults_.pick();
    read_reply(outcome, how, kind, apply_fault(reply, kind), reply.size(), received);
    // A failed exchange resets the line, which flushes whatever comes.
    stray_waiting_ = outcome.ok && kind == fault::stray;
    outcome.end += outcome.ok ? host_seconds_per_exchange : protocol::reset_pause_seconds;
    return outcome;
}

void print_start(std::FILE* out)
{
    const std::time_t now = std::time(nullptr);
    std::fprintf(out, log_text::start_line_format, std::ctime(&now));
    std::fputs(log_text::header_line, out);
}

// One row from `start` on, as log_row prints it; returns when the next
// row starts.
double print_row(host& unit_host, double start, std::uint32_t& last_word, std::FILE* out)
{
    std::fprintf(out, log_text::elapsed_format, start);
    const exchange_outcome adc = unit_host.exchange(protocol::command::adc, reading::fixed, start);
    const double adc_end = adc.ok ? unit_host.adc_exchange_end(start, adc.end) : adc.end;
    if (adc.ok) {
        for (const std::uint16_t channel : adc.state.adc) {
            std::fprintf(out, log_text::adc_format, static_cast<int>(channel));
        }
    }
    const exchange_outcome dds = unit_host.exchange(protocol::command::dds, reading::by_header, adc_end);
    if (dds.ok) {
        std::fputs(dds.payload_bad ? log_text::cs_bad_note : "", out);
        const auto delta = static_cast<std::int32_t>(dds.state.dds2 - last_word);
        std::fprintf(out, log_text::dds_format, static_cast<unsigned long>(dds.state.dds1),
                     static_cast<unsigned long>(dds.state.dds2), static_cast<long>(delta));
        last_word = dds.state.dds2;
    }
    const exchange_outcome tuning =
        unit_host.exchange(protocol::command::tuning, reading::by_header, dds.end);
    if (tuning.ok) {
        std::fputs(tuning.payload_bad ? log_text::cs_bad_note : "", out);
        std::fprintf(out, log_text::tuning_format, static_cast<long>(tuning.state.tuning));
    }
    return tuning.end;
}

} // namespace

std::uint64_t emit_log(unit_model& unit, fault_picker& faults, double seconds, std::uint64_t seed,
                       std::FILE* out)
{
    host unit_host(unit, faults, seed);
    std::uint32_t last_word = 0;
    print_start(out);
    for (double start = 0; start < seconds && std::ferror(out) == 0;) {
        start = print_row(unit_host, start, last_word, out);
    }
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot write the log");
    }
    return unit_host.commands();
}

} // namespace sim
