// Fuzz target: arbitrary bytes stand in for the unit's replies to a short
// sequence of exchanges, logged queries and diagnostics. Checks, beyond what ASan and UBSan see:
// an exchange returns 0 after a reset, or exactly the length it read (4 to
// 255); and every value printed comes from the bytes of the current reply.
#include "diag/diag.hpp"
#include "line_stand_in.hpp"
#include "link/frames.hpp"
#include "logger/logger.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace {

// What one operation printed, captured by pointing stdout at memory.
class printed_text {
public:
    printed_text() : saved_(stdout) { stdout = open_memstream(&text_, &size_); }
    ~printed_text()
    {
        std::fclose(stdout);
        stdout = saved_;
        std::free(text_);
    }
    printed_text(const printed_text&) = delete;
    printed_text& operator=(const printed_text&) = delete;
    std::string text()
    {
        std::fflush(stdout);
        return {text_, size_};
    }

private:
    FILE* saved_;
    char* text_ = nullptr;
    std::size_t size_ = 0;
};

void require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

// The oracle's own XOR and word decoding, written apart from the protocol
// header on purpose: a fault in that header must not make the code under
// test and the check that judges it agree.
std::uint8_t xor_range(std::span<const std::uint8_t> bytes)
{
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum ^= byte;
    }
    return sum;
}

std::uint32_t word_at(std::span<const std::uint8_t> reply, std::size_t at)
{
    return static_cast<std::uint32_t>(reply[at] << 24 | reply[at + 1] << 16 | reply[at + 2] << 8 |
                                      reply[at + 3]);
}

// The reply of an exchange that succeeded: what was read since its command.
struct outcome {
    bool failed;
    std::span<const std::uint8_t> reply;
    bool payload_good() const { return reply.size() <= 4 || xor_range(reply.subspan(4)) == 0; }
};

template <typename Operation> outcome run(Operation operation, std::string& printed)
{
    const int resets_before = line_stand_in::resets();
    printed_text capture;
    operation();
    printed = capture.text();
    return {line_stand_in::resets() != resets_before, line_stand_in::current_reply()};
}

void check_exchange_result(int result, const outcome& seen)
{
    if (seen.failed) {
        require(result == 0);
        return;
    }
    require(result >= 4 && result <= 255);
    require(static_cast<std::size_t>(result) == seen.reply.size());
    require(xor_range(seen.reply.first(4)) == 0);
}

void fixed_exchange(std::uint8_t selector)
{
    static constexpr std::uint8_t lengths[] = {7, 9, 13};
    const std::uint8_t length = lengths[selector % 3];
    reply_buffer reply;
    int result = 0;
    std::string printed;
    const outcome seen = run([&] { result = tx_command(0x5A, length, reply); }, printed);
    check_exchange_result(result, seen);
    require(printed.empty());
    require(seen.failed || (result == length && seen.payload_good()));
}

void variable_exchange(bool second_form)
{
    reply_buffer reply;
    int result = 0;
    std::string printed;
    const outcome seen =
        run([&] { result = second_form ? tx_command2(0x2B, reply) : tx_command_3(0x22, reply); }, printed);
    check_exchange_result(result, seen);
    if (!seen.failed) {
        require(reply[1] == result);
    }
    const bool noted = !seen.failed && seen.payload_good() == second_form;
    require(printed == (noted ? (second_form ? "cs ok " : "(CS bad!) ") : ""));
}

std::string formatted(const char* format, int value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Runs a query and requires that it printed exactly what `oracle` derives
// from the bytes of the reply it read.
template <typename Operation, typename Oracle> void expect_printed(Operation operation, Oracle oracle)
{
    std::string printed;
    const outcome seen = run(operation, printed);
    require(printed == oracle(seen));
}

void adc_query()
{
    expect_printed(read_adc, [](const outcome& seen) {
        std::string expected;
        for (std::size_t at = 4; !seen.failed && at < 12; at += 2) {
            expected += formatted("  %4d  ", seen.reply[at] | seen.reply[at + 1] << 8);
        }
        return expected;
    });
}

// Mirrors the logger's last dds 2 shown, across all inputs of this process.
std::uint32_t shown_dds2 = 0;

void dds_query()
{
    expect_printed(test_22_command, [](const outcome& seen) {
        if (seen.failed) {
            return std::string();
        }
        std::string expected = seen.payload_good() ? "" : "(CS bad!) ";
        if (seen.reply.size() >= 12) {
            const std::uint32_t dds1 = word_at(seen.reply, 4);
            const std::uint32_t dds2 = word_at(seen.reply, 8);
            expected += std::to_string(dds1) + " " + std::to_string(dds2) + " " +
                        std::to_string(static_cast<std::int32_t>(dds2 - shown_dds2)) + " ";
            shown_dds2 = dds2;
        }
        return expected;
    });
}

void tuning_query()
{
    expect_printed(test_2d_command, [](const outcome& seen) {
        if (seen.failed) {
            return std::string();
        }
        std::string expected = seen.payload_good() ? "" : "(CS bad!) ";
        if (seen.reply.size() >= 8) {
            expected += std::to_string(static_cast<std::int32_t>(word_at(seen.reply, 4))) + " ";
        }
        return expected;
    });
}

void fixed_diagnostic(bool two_byte_value)
{
    expect_printed(two_byte_value ? test_53_command : test_29_command, [two_byte_value](const outcome& seen) {
        std::string expected;
        if (!seen.failed && two_byte_value) {
            expected = formatted("%4d ", seen.reply[4] | seen.reply[5] << 8);
        }
        for (std::size_t at = 4; !seen.failed && !two_byte_value && at < 8; ++at) {
            expected += formatted("%3d ", seen.reply[at]);
        }
        return expected;
    });
}

void payload_printer()
{
    expect_printed(test_61_command, [](const outcome& seen) {
        if (seen.failed) {
            return std::string();
        }
        std::string expected = seen.payload_good() ? "cs ok " : "";
        for (std::size_t at = seen.reply.size(); at > 4; --at) {
            expected += formatted("%3d ", seen.reply[at - 1]);
        }
        return expected;
    });
}

void reply_dump(std::uint8_t code)
{
    expect_printed([code] { test_command(code); },
                   [code](const outcome& seen) {
                       const std::span<const std::uint8_t> reply =
                           seen.failed ? std::span<const std::uint8_t>() : seen.reply;
                       std::string expected = "\n#\n# Cmd " + formatted("0x%2.2X ", code);
                       if (!seen.failed && seen.payload_good()) {
                           expected += "cs ok ";
                       }
                       expected += formatted("0x%2.2X byte reply: ", static_cast<int>(reply.size()));
                       std::string dotted = "\n# ASCII (.): ";
                       std::string spaced = "\n# ASCII ( ): ";
                       for (const std::uint8_t byte : reply) {
                           expected += formatted("[%2.2X] ", byte);
                           const bool printable = byte >= 0x20 && byte < 0x7F;
                           dotted += printable ? static_cast<char>(byte) : '.';
                           spaced += printable ? static_cast<char>(byte) : ' ';
                       }
                       return expected + dotted + spaced;
                   });
}

void run_operation(std::uint8_t selector)
{
    switch (selector % 10) {
    case 6: fixed_diagnostic(true); break;
    case 7: fixed_diagnostic(false); break;
    case 8: payload_printer(); break;
    case 9: reply_dump(static_cast<std::uint8_t>(selector)); break;
    case 0: fixed_exchange(static_cast<std::uint8_t>(selector / 10)); break;
    case 1: variable_exchange(true); break;
    case 2: variable_exchange(false); break;
    case 3: adc_query(); break;
    case 4: dds_query(); break;
    default: tuning_query(); break;
    }
}

} // namespace

// Input: a count n (1 to 8), n operation selectors, then the line's bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::size_t operations = std::size_t{1} + data[0] % 8;
    if (size < 1 + operations) {
        return 0;
    }
    line_stand_in::serve({data + 1 + operations, size - 1 - operations});
    for (std::size_t i = 0; i < operations; ++i) {
        run_operation(data[1 + i]);
    }
    require(line_stand_in::commands() == static_cast<int>(operations));
    return 0;
}
