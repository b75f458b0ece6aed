#include "sim/unit_answers.hpp"

#include "protocol/protocol.hpp"

#include <string_view>

namespace sim {

namespace {

unit::bytes text_reply(std::uint8_t code, std::string_view text)
{
    const unit::bytes data(text.begin(), text.end());
    return unit::reply_frame(code, data);
}

unit::bytes rate_reply()
{
    unit::bytes data;
    unit::append_big_endian_32(data, dds2_counts_per_second);
    return unit::reply_frame(protocol::command::test_65, data);
}

} // namespace

unit::bytes answer(std::uint8_t code, const unit_state& state)
{
    switch (code) {
    case protocol::command::adc: return unit::adc_reply(state.adc);
    case protocol::command::dds: return unit::dds_reply(state.dds1, state.dds2);
    case protocol::command::tuning: return unit::tuning_reply(state.tuning);
    case protocol::command::test_53: return unit::test_53_reply(state.uptime_seconds);
    case protocol::command::test_29: return unit::test_29_reply({1, 4, 2, 3});
    case protocol::command::test_2b: return text_reply(protocol::command::test_2b, "FSU-10");
    case protocol::command::test_47: return text_reply(protocol::command::test_47, "SN004217");
    case protocol::command::test_61:
        return unit::reply_frame(protocol::command::test_61, unit::bytes{0x03, 0x00});
    case protocol::command::test_65: return rate_reply();
    case protocol::command::test_67: return text_reply(protocol::command::test_67, "2021-06-14");
    default: return {};
    }
}

} // namespace sim
