// Frame layouts and checks, on both sides of the line, and the line the
// unit's side serves.
#include "link/frames.hpp"
#include "unit/pty_line.hpp"
#include "unit/unit_side.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace {

TEST(CommandFrame, CarriesCodeLengthZeroAndXorCheck)
{
    EXPECT_EQ(protocol::command_frame(0x5A), (protocol::command_bytes{0x5A, 0x04, 0x00, 0x5E}));
    EXPECT_EQ(protocol::command_frame(0x22), (protocol::command_bytes{0x22, 0x04, 0x00, 0x26}));
    EXPECT_EQ(protocol::command_frame(0x2D), (protocol::command_bytes{0x2D, 0x04, 0x00, 0x29}));
    for (int code = 0; code < 256; ++code) {
        const protocol::command_bytes frame = protocol::command_frame(static_cast<std::uint8_t>(code));
        EXPECT_TRUE(check_header(frame.data(), 4)) << code;
    }
}

TEST(Checks, HeaderAndPayloadAreCheckedSeparately)
{
    // 22 0D 00 2F: a good header; payload 01 02 03 04 05 06 07 08 and its check.
    std::uint8_t reply[13] = {0x22, 0x0D, 0x00, 0x2F, 1, 2, 3, 4, 5, 6, 7, 8, 0x08};
    EXPECT_TRUE(check_header(reply, 4));
    EXPECT_TRUE(check_payload(reply, 13));
    reply[7] ^= 0x40;
    EXPECT_TRUE(check_header(reply, 4)) << "a payload fault must not show in the header check";
    EXPECT_FALSE(check_payload(reply, 13));
    reply[7] ^= 0x40;
    reply[3] ^= 0x01;
    EXPECT_FALSE(check_header(reply, 4));
    EXPECT_TRUE(check_payload(reply, 13)) << "a header fault must not show in the payload check";
}

TEST(Checks, ReplyWithoutPayloadPassesWhenItsHeaderDoes)
{
    const std::uint8_t good[4] = {0x2B, 0x04, 0x00, 0x2F};
    const std::uint8_t bad[4] = {0x2B, 0x04, 0x00, 0x2E};
    EXPECT_TRUE(check_payload(good, 4));
    EXPECT_FALSE(check_payload(bad, 4));
}

TEST(WireValues, AdcWordsAreLittleEndianAndDdsWordsBigEndian)
{
    const std::uint8_t adc[2] = {0x34, 0x12};
    const std::uint8_t full[2] = {0xFF, 0xFF};
    EXPECT_EQ(little_endian_16(adc), 4660);
    EXPECT_EQ(little_endian_16(full), 65535);
    const std::uint8_t word[4] = {0x80, 0x01, 0x02, 0x03};
    EXPECT_EQ(big_endian_32(word), 0x80010203u);
}

TEST(UnitSide, BuildsRepliesThatPassTheHostsChecks)
{
    const unit::bytes adc = unit::adc_reply({0x1234, 1, 2, 0xFFFF});
    ASSERT_EQ(adc.size(), 13u);
    EXPECT_EQ(adc[1], 13);
    EXPECT_TRUE(check_header(adc.data(), 4));
    EXPECT_TRUE(check_payload(adc.data(), 13));
    EXPECT_EQ(little_endian_16(&adc[4]), 0x1234);
    EXPECT_EQ(little_endian_16(&adc[10]), 0xFFFF);

    const unit::bytes dds = unit::dds_reply(0xDEADBEEF, 7);
    ASSERT_EQ(dds.size(), 13u);
    EXPECT_TRUE(check_payload(dds.data(), 13));
    EXPECT_EQ(big_endian_32(&dds[4]), 0xDEADBEEFu);
    EXPECT_EQ(big_endian_32(&dds[8]), 7u);

    const unit::bytes tuning = unit::tuning_reply(-1);
    ASSERT_EQ(tuning.size(), 9u);
    EXPECT_TRUE(check_header(tuning.data(), 4));
    EXPECT_EQ(big_endian_32(&tuning[4]), 0xFFFFFFFFu);

    const unit::bytes empty = unit::empty_reply(0x2B);
    EXPECT_EQ(empty, (unit::bytes{0x2B, 0x04, 0x00, 0x2F}));
}

TEST(UnitSide, ParserIgnoresBadFramesAndFallsBackIntoStep)
{
    unit::command_parser parser;
    std::vector<int> codes;
    auto feed = [&](std::initializer_list<std::uint8_t> bytes) {
        for (const std::uint8_t byte : bytes) {
            if (const auto code = parser.push(byte)) {
                codes.push_back(*code);
            }
        }
    };
    feed({0x5A, 0x04, 0x00, 0x5E});
    feed({0x22, 0x04, 0x00, 0x27}); // bad check: ignored
    feed({0x99});                   // a stray byte before the next frame
    feed({0x2D, 0x04, 0x00, 0x29});
    EXPECT_EQ(codes, (std::vector<int>{0x5A, 0x2D}));
}

TEST(PtyLine, AStepThatFailsAfterTheMasterOpenedClosesIt)
{
    // Room for one more descriptor: the master opens, its slave can't.
    const int next = dup(0);
    close(next);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit one_more = saved;
    one_more.rlim_cur = static_cast<rlim_t>(next) + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &one_more), 0);
    EXPECT_THROW(unit::open_pty_line(), std::runtime_error);
    setrlimit(RLIMIT_NOFILE, &saved);
    const int after = dup(0);
    close(after);
    EXPECT_EQ(after, next) << "the master was left open";
}

} // namespace
