// The three logged queries: decoding and column formats.
#include "harness.hpp"
#include "link/serial_port.hpp"
#include "logger/logger.hpp"
#include "protocol/log_text.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using harness::pty_pair;
using harness::stdout_capture;

using Query = harness::port_on_pty;

TEST_F(Query, AdcChannelsPrintLittleEndianInFourWideFields)
{
    line.send(unit::adc_reply({0x1234, 0xFFFF, 0, 7}));
    stdout_capture out;
    read_adc();
    EXPECT_EQ(out.text(), "  4660    65535       0       7  ");
}

// last_word lives for the whole process; each test first shows one
// reading so that its deltas do not depend on the tests before it. (The
// first row's delta, from last_word 0, is pinned by the program tests.)
void prime_last_word(pty_pair& line, std::uint32_t dds2)
{
    stdout_capture discard;
    line.send(unit::dds_reply(0, dds2));
    test_22_command();
}

TEST_F(Query, DdsDeltaIsTheSignedChangeModulo2To32)
{
    prime_last_word(line, 0x80000000);
    stdout_capture out;
    line.send(unit::dds_reply(0xFFFFFFFF, 0x00000005));
    line.send(unit::dds_reply(1, 0xFFFFFFFE));
    line.send(unit::dds_reply(1, 0x00000005));
    test_22_command();
    test_22_command();
    test_22_command();
    EXPECT_EQ(out.text(), "4294967295 5 -2147483643 "
                          "1 4294967294 -7 "
                          "1 5 7 ");
}

TEST_F(Query, DdsWithBadPayloadCheckIsNotedButStillPrintedAndRemembered)
{
    prime_last_word(line, 0);
    stdout_capture out;
    unit::bytes bad = unit::dds_reply(10, 1000);
    unit::spoil_payload_check(bad);
    line.send(bad);
    line.send(unit::dds_reply(10, 1003));
    test_22_command();
    test_22_command();
    EXPECT_EQ(out.text(), "(CS bad!) 10 1000 1000 10 1003 3 ");
}

TEST_F(Query, ShortRepliesPrintNoValuesAndKeepTheLastWord)
{
    prime_last_word(line, 1000);
    stdout_capture out;
    // Replies that pass their checks but are too short to hold the words.
    // The earlier reply's bytes are still in a buffer like theirs; none of
    // them may be printed.
    const unit::bytes short_dds = unit::reply_frame(0x22, unit::bytes{1, 2, 3, 4, 5, 6}); // 11 bytes
    unit::bytes short_bad = unit::reply_frame(0x22, unit::bytes{1, 2});
    unit::spoil_payload_check(short_bad);
    line.send(short_dds);
    line.send(short_bad);
    line.send(unit::dds_reply(10, 1010));
    test_22_command();
    test_22_command();
    test_22_command();

    line.send(unit::tuning_reply(-5));
    line.send(unit::reply_frame(0x2D, unit::bytes{1, 2})); // 7 bytes
    line.send(unit::empty_reply(0x2D));
    test_2d_command();
    test_2d_command();
    test_2d_command();
    EXPECT_EQ(out.text(), "(CS bad!) 10 1010 10 -5 ");
}

TEST_F(Query, RepliesJustLongEnoughForTheirWordsArePrinted)
{
    prime_last_word(line, 0x01020300);
    stdout_capture out;
    // 12 and 8 bytes: the last word ends in the payload check byte (9, FF).
    line.send(unit::reply_frame(0x22, unit::bytes{0, 0, 0, 9, 1, 2, 3}));
    line.send(unit::reply_frame(0x2D, unit::bytes{0xFF, 0xFF, 0xFF}));
    test_22_command();
    test_2d_command();
    EXPECT_EQ(out.text(), "9 16909065 9 -1 ");
}

TEST_F(Query, TuningWordIsSignedBigEndian)
{
    stdout_capture out;
    line.send(unit::reply_frame(0x2D, unit::bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    line.send(unit::reply_frame(0x2D, unit::bytes{0x00, 0x00, 0x01, 0x00}));
    line.send(unit::tuning_reply(-2147483647 - 1));
    test_2d_command();
    test_2d_command();
    test_2d_command();
    EXPECT_EQ(out.text(), "-1 256 -2147483648 ");
}

TEST_F(Query, RowHasElapsedTimeThenAllFields)
{
    prime_last_word(line, 150);
    line.send(unit::adc_reply({1, 22, 333, 4444}));
    line.send(unit::dds_reply(100, 200));
    line.send(unit::tuning_reply(-3));
    stdout_capture out;
    log_row(get_time() - 12.3456);
    const std::string row = out.text();
    ASSERT_GT(row.size(), 20u);
    EXPECT_EQ(row.substr(0, 6), "\n     ");
    EXPECT_EQ(row.substr(6, 14), "   12.346     ") << "%9.3f between five spaces each side";
    EXPECT_EQ(row.substr(20), "     1      22     333    4444  100 200 50 -3 ");
}

TEST(Header, StartLineThenColumnNamesWithoutLineEnd)
{
    stdout_capture out;
    print_header();
    const std::string text = out.text();
    const std::string_view start = protocol::log_text::start_line_prefix;
    ASSERT_EQ(text.substr(0, start.size()), start);
    const std::size_t newline = text.find('\n');
    EXPECT_EQ(newline, start.size() + 24) << "ctime's fixed 24-character form";
    EXPECT_EQ(text.substr(newline + 1), protocol::log_text::header_line);
}

} // namespace
