#include "diag/diag.hpp"

#include "link/frames.hpp"

#include <cstdio>
#include <span>

namespace {

constexpr auto first_payload_byte = static_cast<std::size_t>(protocol::payload_start);

// The bytes an exchange that returned `length` put into `reply`.
std::span<const std::uint8_t> received(const reply_buffer& reply, int length)
{
    return std::span<const std::uint8_t>(reply).first(static_cast<std::size_t>(length));
}

// The payload printers differ only in their code.
void print_payload_last_first(std::uint8_t code)
{
    reply_buffer reply;
    const std::span<const std::uint8_t> bytes = received(reply, tx_command2(code, reply));
    for (std::size_t position = bytes.size(); position > first_payload_byte; --position) {
        std::printf("%3d ", static_cast<int>(bytes[position - 1]));
    }
}

bool is_printable(std::uint8_t byte)
{
    return byte >= 0x20 && byte <= 0x7E;
}

void print_as_text(const char* label, std::span<const std::uint8_t> bytes, char stand_in)
{
    std::fputs(label, stdout);
    for (const std::uint8_t byte : bytes) {
        std::putchar(is_printable(byte) ? static_cast<char>(byte) : stand_in);
    }
}

} // namespace

void test_53_command()
{
    reply_buffer reply;
    if (tx_command(protocol::command::test_53, protocol::test_53_reply_length, reply) == 0) {
        return;
    }
    std::printf("%4d ", static_cast<int>(little_endian_16(&reply[protocol::payload_start])));
}

void test_29_command()
{
    reply_buffer reply;
    if (tx_command(protocol::command::test_29, protocol::test_29_reply_length, reply) == 0) {
        return;
    }
    for (std::size_t position = first_payload_byte; position < first_payload_byte + 4; ++position) {
        std::printf("%3d ", static_cast<int>(reply[position]));
    }
}

void test_2b_command()
{
    print_payload_last_first(protocol::command::test_2b);
}
void test_47_command()
{
    print_payload_last_first(protocol::command::test_47);
}
void test_5a_command()
{
    print_payload_last_first(protocol::command::adc);
}
void test_61_command()
{
    print_payload_last_first(protocol::command::test_61);
}
void test_65_command()
{
    print_payload_last_first(protocol::command::test_65);
}
void test_67_command()
{
    print_payload_last_first(protocol::command::test_67);
}

void test_command(std::uint8_t code)
{
    std::printf("\n#\n# Cmd 0x%2.2X ", static_cast<unsigned>(code));
    reply_buffer reply;
    const int reply_len = tx_command2(code, reply);
    std::printf("0x%2.2X byte reply: ", static_cast<unsigned>(reply_len));
    const std::span<const std::uint8_t> bytes = received(reply, reply_len);
    for (const std::uint8_t byte : bytes) {
        std::printf("[%2.2X] ", static_cast<unsigned>(byte));
    }
    print_as_text("\n# ASCII (.): ", bytes, '.');
    print_as_text("\n# ASCII ( ): ", bytes, ' ');
}
