#include "unit/unit_side.hpp"

#include "protocol/protocol.hpp"

#include <algorithm>
#include <stdexcept>

namespace unit {

namespace {

// The data between a reply's header and its check byte.
constexpr std::size_t max_reply_data = protocol::max_reply_length - protocol::header_length - 1;

bytes reply_header(std::uint8_t code, std::uint8_t length, std::size_t capacity)
{
    bytes frame;
    frame.reserve(capacity);
    for (const std::uint8_t byte : protocol::frame_header(code, length)) {
        frame.push_back(byte);
    }
    return frame;
}

} // namespace

bool is_command_frame(std::span<const std::uint8_t, 4> frame)
{
    const protocol::command_bytes expected = protocol::command_frame(frame[0]);
    return std::equal(frame.begin(), frame.end(), expected.begin());
}

std::optional<std::uint8_t> command_parser::push(std::uint8_t byte)
{
    window_[static_cast<std::size_t>(filled_++)] = byte;
    if (filled_ < 4) {
        return std::nullopt;
    }
    if (is_command_frame(window_)) {
        filled_ = 0;
        return window_[0];
    }
    std::shift_left(window_.begin(), window_.end(), 1);
    filled_ = 3;
    return std::nullopt;
}

bytes reply_frame(std::uint8_t code, std::span<const std::uint8_t> data)
{
    if (data.size() > max_reply_data) {
        throw std::length_error("reply data longer than a frame can carry");
    }
    const auto length = static_cast<std::uint8_t>(protocol::header_length + data.size() + 1);
    bytes frame = reply_header(code, length, length);
    for (const std::uint8_t byte : data) {
        frame.push_back(byte);
    }
    frame.push_back(protocol::xor_of(data));
    return frame;
}

bytes empty_reply(std::uint8_t code)
{
    return reply_header(code, protocol::header_length, protocol::header_length);
}

void spoil_header_check(bytes& reply)
{
    if (reply.size() >= protocol::header_length) {
        reply[3] ^= 0x01;
    }
}

void spoil_payload_check(bytes& reply)
{
    if (reply.size() > protocol::header_length) {
        reply[reply.size() - 1] ^= 0x01;
    }
}

void append_little_endian_16(bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append_big_endian_32(bytes& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

bytes adc_reply(const std::array<std::uint16_t, 4>& channels)
{
    bytes data;
    for (const std::uint16_t channel : channels) {
        append_little_endian_16(data, channel);
    }
    return reply_frame(protocol::command::adc, data);
}

bytes dds_reply(std::uint32_t dds1, std::uint32_t dds2)
{
    bytes data;
    append_big_endian_32(data, dds1);
    append_big_endian_32(data, dds2);
    return reply_frame(protocol::command::dds, data);
}

bytes tuning_reply(std::int32_t tuning)
{
    bytes data;
    append_big_endian_32(data, static_cast<std::uint32_t>(tuning));
    return reply_frame(protocol::command::tuning, data);
}

bytes test_53_reply(std::uint16_t value)
{
    bytes data;
    append_little_endian_16(data, value);
    return reply_frame(protocol::command::test_53, data);
}

bytes test_29_reply(const std::array<std::uint8_t, 4>& values)
{
    return reply_frame(protocol::command::test_29, values);
}

} // namespace unit
