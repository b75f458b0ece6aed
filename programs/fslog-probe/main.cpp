// fslog-probe DEVICE [CODE...]: runs the diagnostic queries against a unit.
// Without codes it runs the eight fixed-code test queries, one line each;
// with codes it dumps the reply to each code in turn.
#include "cli/cli.hpp"
#include "diag/diag.hpp"
#include "link/serial_port.hpp"
#include "protocol/log_text.hpp"
#include "protocol/protocol.hpp"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr cli::program probe_program{
    "fslog-probe", "Usage: fslog-probe DEVICE [CODE...]\n"
                   "Runs the unit's diagnostic queries over the serial line DEVICE. Without\n"
                   "CODEs: the eight test queries, one line each. With CODEs (hexadecimal\n"
                   "bytes: 2B, 2b or 0x2B): each sent in turn, and its whole reply dumped.\n"
                   "  -h, --help  show this text\n"
                   "  --version   show the version\n"};

struct test_query {
    std::uint8_t code;
    void (*run)();
};

constexpr std::array<test_query, 8> test_queries{{
    {protocol::command::test_53, test_53_command},
    {protocol::command::test_29, test_29_command},
    {protocol::command::test_2b, test_2b_command},
    {protocol::command::test_47, test_47_command},
    {protocol::command::adc, test_5a_command},
    {protocol::command::test_61, test_61_command},
    {protocol::command::test_65, test_65_command},
    {protocol::command::test_67, test_67_command},
}};

// A command code as typed: one or two hex digits, optionally after "0x".
std::optional<std::uint8_t> parse_code(std::string_view text)
{
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 2) {
        return std::nullopt;
    }
    std::uint8_t code = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code, 16);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return code;
}

// Each query may stall for a reset's pause, so every result is pushed out as
// soon as it is printed. False once stdout can no longer be written.
bool flushed()
{
    return std::fflush(stdout) == 0;
}

int run_test_queries()
{
    for (const test_query& query : test_queries) {
        std::printf("0x%2.2X: ", static_cast<unsigned>(query.code));
        query.run();
        std::putchar('\n');
        if (!flushed()) {
            return cli::exit_failure;
        }
    }
    return cli::exit_ok;
}

int dump_replies(const std::vector<std::uint8_t>& codes)
{
    for (const std::uint8_t code : codes) {
        test_command(code);
        if (!flushed()) {
            return cli::exit_failure;
        }
    }
    std::putchar('\n');
    return flushed() ? cli::exit_ok : cli::exit_failure;
}

// The codes after the device, or why one is none; all are checked before
// anything is sent.
std::vector<std::uint8_t> read_codes(const std::vector<std::string>& operands, std::string& error)
{
    std::vector<std::uint8_t> codes;
    for (std::size_t i = 1; i < operands.size() && error.empty(); ++i) {
        const std::optional<std::uint8_t> code = parse_code(operands[i]);
        if (code) {
            codes.push_back(*code);
        } else {
            error = "not a command code: " + operands[i];
        }
    }
    return codes;
}

// Why the port won't open, on stderr: the system's words, and what to do
// about the two causes a user can fix.
void explain_open_failure(const std::string& device)
{
    const port_open_error why = serial_open_error();
    if (why.held_elsewhere) {
        std::fprintf(stderr,
                     "fslog-probe: %s: another program holds the port (fslog, or a terminal program); "
                     "only one may talk to the unit at a time\n",
                     device.c_str());
        return;
    }
    std::fprintf(stderr, "fslog-probe: %s: %s\n", device.c_str(), std::strerror(why.error));
    if (why.error == EACCES || why.error == EPERM) {
        std::fputs("fslog-probe: serial ports belong to the group dialout: join it with "
                   "'sudo adduser $USER dialout', then log in again\n",
                   stderr);
    }
}

} // namespace

int main(int argc, char** argv)
{
    cli::command_line line = cli::parse(argc, argv, probe_program, {}, {});
    const std::vector<std::uint8_t> codes = read_codes(line.operands, line.error);
    if (line.operands.empty() && line.error.empty()) {
        line.error = "no DEVICE given";
    }
    if (const auto status = cli::answer(probe_program, line)) {
        return *status;
    }
    const std::string& device = line.operands.front();
    if (serial_init(device.c_str()) == 0) {
        std::printf(protocol::log_text::open_failure_format, device.c_str());
        std::fflush(stdout);
        explain_open_failure(device);
        return cli::exit_failure;
    }
    return codes.empty() ? run_test_queries() : dump_replies(codes);
}
