#include "link/frames.hpp"

#include "link/serial_port.hpp"
#include "protocol/log_text.hpp"

#include <cstdio>
#include <span>

namespace {

void send_command(std::uint8_t code)
{
    const protocol::command_bytes frame = protocol::command_frame(code);
    serial_write(frame.data(), protocol::header_length);
}

int fail_exchange()
{
    serial_reset();
    return 0;
}

// Which note a variable-length exchange prints about its payload check.
enum class payload_note { when_good, when_bad };

// The variable-length exchange behind tx_command2 and tx_command_3; they
// differ only in the note they print.
int tx_variable(std::uint8_t code, reply_buffer& reply, payload_note note)
{
    send_command(code);
    if (read_reply(reply.data(), protocol::header_length) != protocol::header_length ||
        !check_header(reply.data(), protocol::header_length)) {
        return fail_exchange();
    }
    // A length byte below 4 cannot be a reply of ours: without this the
    // payload length would go negative and nothing sound could be read.
    if (reply[1] < protocol::header_length) {
        return fail_exchange();
    }
    const int payload_length = reply[1] - protocol::header_length;
    if (read_reply(reply.data() + protocol::header_length, payload_length) != payload_length) {
        return fail_exchange();
    }
    const int length = protocol::header_length + payload_length;
    const bool payload_good = check_payload(reply.data(), length);
    if (payload_good && note == payload_note::when_good) {
        std::fputs(protocol::log_text::cs_ok_note, stdout);
    } else if (!payload_good && note == payload_note::when_bad) {
        std::fputs(protocol::log_text::cs_bad_note, stdout);
    }
    return length;
}

} // namespace

bool check_header(const std::uint8_t* frame, int count)
{
    return protocol::xor_of(std::span(frame, static_cast<std::size_t>(count))) == 0;
}

bool check_payload(const std::uint8_t* frame, int length)
{
    if (length > protocol::header_length) {
        return check_header(frame + protocol::header_length, length - protocol::header_length);
    }
    return check_header(frame, length);
}

int tx_command(std::uint8_t code, std::uint8_t length, reply_buffer& reply)
{
    send_command(code);
    if (length < protocol::header_length || read_reply(reply.data(), length) != length ||
        !check_header(reply.data(), protocol::header_length) || !check_payload(reply.data(), length)) {
        return fail_exchange();
    }
    return length;
}

int tx_command2(std::uint8_t code, reply_buffer& reply)
{
    return tx_variable(code, reply, payload_note::when_good);
}

int tx_command_3(std::uint8_t code, reply_buffer& reply)
{
    return tx_variable(code, reply, payload_note::when_bad);
}

std::uint16_t little_endian_16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t big_endian_32(const std::uint8_t* bytes)
{
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) {
        word = word << 8 | bytes[i];
    }
    return word;
}
