// The three exchanges against a stand-in unit on a pseudo-terminal. Replies
// are queued on the line before the exchange runs: the host does not flush
// its input before a command, so a queued reply reads like a prompt one.
#include "harness.hpp"
#include "link/frames.hpp"
#include "link/serial_port.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using harness::seconds_since;
using harness::stdout_capture;
using clock_type = std::chrono::steady_clock;

class Exchange : public harness::port_on_pty {
protected:
    // The command frame the exchange put on the line.
    unit::bytes sent() const { return line.receive(100ms); }

    reply_buffer reply{};
};

TEST_F(Exchange, FixedLengthSucceedsWithoutConsultingTheLengthByte)
{
    unit::bytes frame = unit::adc_reply({1, 2, 3, 4});
    frame[1] = 12;       // says 12, but 13 bytes are what the caller expects
    frame[3] ^= 13 ^ 12; // keep the header check good
    line.send(frame);
    stdout_capture out;
    EXPECT_EQ(tx_command(0x5A, 13, reply), 13);
    EXPECT_EQ(sent(), (unit::bytes{0x5A, 0x04, 0x00, 0x5E}));
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), reply.begin()));
    EXPECT_EQ(out.text(), "") << "the strict exchange prints no notes";
}

TEST_F(Exchange, StrayByteAfterAGoodReplyBecomesTheNextRepliesFirstByte)
{
    unit::bytes frame = unit::adc_reply({1, 2, 3, 4});
    frame.push_back(0x77);
    line.send(frame);
    EXPECT_EQ(tx_command(0x5A, 13, reply), 13);
    line.send(unit::empty_reply(0x2B));
    stdout_capture out;
    // The stray byte shifts the next header: 77 2B 04 00 fails its check.
    EXPECT_EQ(tx_command2(0x2B, reply), 0);
    EXPECT_EQ(reply[0], 0x77);
    EXPECT_EQ(out.text(), "");
}

TEST_F(Exchange, VariableLengthFourByteReplyHasNoPayloadAndPassesItsCheck)
{
    line.send(unit::empty_reply(0x2B));
    stdout_capture out;
    EXPECT_EQ(tx_command2(0x2B, reply), 4);
    EXPECT_EQ(out.text(), "cs ok ");
    line.send(unit::empty_reply(0x2B));
    EXPECT_EQ(tx_command_3(0x2B, reply), 4);
    EXPECT_EQ(out.text(), "cs ok ") << "tx_command_3 is silent about a good payload";
}

TEST_F(Exchange, VariableLengthKeepsABadPayloadAndSaysSoInItsOwnNote)
{
    const unit::bytes good = {0x22, 0x0D, 0x00, 0x2F, 9, 8, 7, 6, 5, 4, 3, 2, 9 ^ 8 ^ 7 ^ 6 ^ 5 ^ 4 ^ 3 ^ 2};
    unit::bytes bad = good;
    bad[6] = 0x00;
    stdout_capture out;

    line.send(good);
    EXPECT_EQ(tx_command_3(0x22, reply), 13);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(sent(), (unit::bytes{0x22, 0x04, 0x00, 0x26}));

    line.send(bad);
    EXPECT_EQ(tx_command_3(0x22, reply), 13);
    EXPECT_EQ(out.text(), "(CS bad!) ");
    EXPECT_EQ(reply[6], 0x00) << "the data is kept";

    line.send(good);
    EXPECT_EQ(tx_command2(0x22, reply), 13);
    line.send(bad);
    EXPECT_EQ(tx_command2(0x22, reply), 13);
    EXPECT_EQ(out.text(), "(CS bad!) cs ok ");

    // Back to back, nothing reset: all four replies were read, none skipped.
    EXPECT_EQ(sent().size(), 12u);
}

TEST_F(Exchange, VariableLengthReadsAsManyBytesAsTheLengthByteSays)
{
    unit::bytes data(200);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    line.send(unit::reply_frame(0x67, data));
    line.send(unit::empty_reply(0x61));
    EXPECT_EQ(tx_command_3(0x67, reply), 205);
    EXPECT_EQ(reply[4 + 199], static_cast<std::uint8_t>(199 * 7));
    EXPECT_EQ(tx_command_3(0x61, reply), 4) << "the next reply starts where this one ended";
}

// Each failing exchange resets the line (a real pause); these run as separate tests
// so that ctest -j takes them side by side.
TEST_F(Exchange, StrictExchangeResetsOnABadPayload)
{
    unit::bytes frame = unit::adc_reply({1, 2, 3, 4});
    unit::spoil_payload_check(frame);
    line.send(frame);
    line.send({0x55}); // queued behind the reply, gone after the reset
    const auto start = clock_type::now();
    EXPECT_EQ(tx_command(0x5A, 13, reply), 0);
    EXPECT_GT(seconds_since(start), 3.9);
    line.send(unit::empty_reply(0x2B));
    EXPECT_EQ(tx_command2(0x2B, reply), 4) << "the line was flushed and is usable again";
}

TEST_F(Exchange, SilentUnitCostsTheTimeoutThenTheReset)
{
    const auto start = clock_type::now();
    stdout_capture out;
    EXPECT_EQ(tx_command_3(0x2D, reply), 0);
    const double took = seconds_since(start);
    EXPECT_GT(took, 5.8);
    EXPECT_LT(took, 7.5);
    EXPECT_EQ(out.text(), "");
}

TEST_F(Exchange, BadHeaderCheckResets)
{
    unit::bytes frame = unit::tuning_reply(5);
    unit::spoil_header_check(frame);
    line.send(frame);
    stdout_capture out;
    const auto start = clock_type::now();
    EXPECT_EQ(tx_command2(0x2D, reply), 0);
    EXPECT_GT(seconds_since(start), 3.9);
    EXPECT_EQ(out.text(), "");
}

TEST_F(Exchange, LengthByteBelowFourResetsInsteadOfReadingANegativeCount)
{
    // Length byte 3 with a good header check.
    line.send({0x2D, 0x03, 0x00, 0x2E, 1, 2, 3, 4});
    const auto start = clock_type::now();
    EXPECT_EQ(tx_command_3(0x2D, reply), 0);
    EXPECT_GT(seconds_since(start), 3.9);
    line.send(unit::tuning_reply(9));
    EXPECT_EQ(tx_command_3(0x2D, reply), 9) << "the rest of the bad reply was flushed";
}

TEST_F(Exchange, MissingPayloadBytesReset)
{
    unit::bytes frame = unit::dds_reply(1, 2);
    frame.resize(8);
    line.send(frame);
    const auto start = clock_type::now();
    EXPECT_EQ(tx_command_3(0x22, reply), 0);
    EXPECT_GT(seconds_since(start), 5.8);
}

} // namespace
