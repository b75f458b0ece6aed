// fslog-probe DEVICE [CODE...]: runs the diagnostic queries against a unit.
// Without codes it runs the eight fixed-code test queries, one line each;
// with codes it dumps the reply to each code in turn.
#include "diag/diag.hpp"
#include "link/protocol.hpp"
#include "link/serial_port.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

struct test_query {
    std::uint8_t code;
    void (*run)();
};

constexpr std::array<test_query, 8> test_queries{{
    {command::test_53, test_53_command},
    {command::test_29, test_29_command},
    {command::test_2b, test_2b_command},
    {command::test_47, test_47_command},
    {command::adc, test_5a_command},
    {command::test_61, test_61_command},
    {command::test_65, test_65_command},
    {command::test_67, test_67_command},
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

// Each query may stall for a 4 s reset, so every result is pushed out as
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
            return 1;
        }
    }
    return 0;
}

int dump_replies(int count, char** codes)
{
    for (int i = 0; i < count; ++i) {
        test_command(*parse_code(codes[i]));
        if (!flushed()) {
            return 1;
        }
    }
    std::putchar('\n');
    return flushed() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: fslog-probe DEVICE [CODE...]\n", stderr);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (!parse_code(argv[i])) {
            std::fprintf(stderr, "fslog-probe: not a command code: %s\n", argv[i]);
            return 2;
        }
    }
    if (serial_init(argv[1]) == 0) {
        std::printf("\nCouldn't open port %s\n", argv[1]);
        return 1;
    }
    return argc == 2 ? run_test_queries() : dump_replies(argc - 2, argv + 2);
}
