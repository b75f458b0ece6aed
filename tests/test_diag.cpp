// The diagnostic queries and the reply dump, against a stand-in unit that
// answers each code with its own reply, so a query sending the wrong code
// gets silence.
#include "diag/diag.hpp"
#include "harness.hpp"
#include "link/serial_port.hpp"

#include <gtest/gtest.h>

#include <map>

namespace {

using harness::scripted_unit;
using harness::stdout_capture;
using replies = std::map<std::uint8_t, unit::bytes>;

class Diag : public harness::port_on_pty {
protected:
    // From now on the unit answers with `by_code`; other codes get silence.
    void unit_answers(replies by_code)
    {
        unit.reset();
        unit.emplace(line, harness::answering(std::move(by_code)));
    }

    std::optional<scripted_unit> unit;
};

unit::bytes with_bad_payload_check(unit::bytes reply)
{
    unit::spoil_payload_check(reply);
    return reply;
}

TEST_F(Diag, DumpShowsEveryByteInHexThenAsTextTwoWays)
{
    unit_answers({
        {0x2B, unit::reply_frame(0x2B, unit::bytes{0x41})}, // 2B 06 00 2D 41 41
        {0x61,
         with_bad_payload_check(unit::reply_frame(0x61, unit::bytes{0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80}))},
        {0x47, unit::empty_reply(0x47)},
    });
    stdout_capture out;
    std::fputs("row", stdout);
    test_command(0x2B);
    test_command(0x61);
    test_command(0x47);
    EXPECT_EQ(out.text(),
              "row\n"
              "#\n"
              "# Cmd 0x2B cs ok 0x06 byte reply: [2B] [06] [00] [2D] [41] [41] \n"
              "# ASCII (.): +..-AA\n"
              "# ASCII ( ): +  -AA\n"
              "#\n"
              "# Cmd 0x61 0x0B byte reply: [61] [0B] [00] [6A] [00] [1F] [20] [7E] [7F] [80] [BF] \n"
              "# ASCII (.): a..j.. ~...\n"
              "# ASCII ( ): a  j   ~   \n"
              "#\n"
              "# Cmd 0x47 cs ok 0x04 byte reply: [47] [04] [00] [43] \n"
              "# ASCII (.): G..C\n"
              "# ASCII ( ): G  C");
}

TEST_F(Diag, PayloadPrintersSendTheirCodeAndPrintTheLastByteFirst)
{
    // Two equal data bytes: the check byte is 0.
    const std::vector<std::pair<void (*)(), std::string>> printers{
        {test_2b_command, "cs ok   0  43  43 "}, {test_47_command, "cs ok   0  71  71 "},
        {test_5a_command, "cs ok   0  90  90 "}, {test_61_command, "cs ok   0  97  97 "},
        {test_65_command, "cs ok   0 101 101 "}, {test_67_command, "cs ok   0 103 103 "},
    };
    replies by_code;
    for (const std::uint8_t code : std::initializer_list<std::uint8_t>{0x2B, 0x47, 0x5A, 0x61, 0x65, 0x67}) {
        by_code[code] = unit::reply_frame(code, unit::bytes{code, code});
    }
    unit_answers(by_code);
    for (const auto& [print, expected] : printers) {
        stdout_capture out;
        print();
        EXPECT_EQ(out.text(), expected);
    }

    // 0x5A fetched by its length byte: the ADC reply's bytes, not its channels.
    unit_answers({{0x5A, unit::adc_reply({0x0201, 3, 0, 0x00FF})}});
    stdout_capture adc;
    test_5a_command();
    EXPECT_EQ(adc.text(), "cs ok 255   0 255   0   0   0   3   2   1 ");
}

TEST_F(Diag, PayloadPrinterShowsBadCheckWithoutNoteAndEmptyPayloadAsNoteOnly)
{
    unit_answers({
        {0x65, unit::reply_frame(0x65, unit::bytes{1, 2})}, // 7 bytes, payload 01 02 03
        {0x47, unit::empty_reply(0x47)},
        {0x67, with_bad_payload_check(unit::reply_frame(0x67, unit::bytes{200}))},
    });
    stdout_capture out;
    test_65_command();
    test_47_command();
    test_67_command();
    EXPECT_EQ(out.text(), "cs ok   3   2   1 cs ok 201 200 ");
}

TEST_F(Diag, FixedLengthRepliesDecodeInTheirFields)
{
    unit_answers({
        {0x53, unit::test_53_reply(0x2710)}, // bytes 4-5: 10 27
        {0x29, unit::test_29_reply({0x0A, 0xFF, 0x00, 0x80})},
    });
    stdout_capture out;
    test_53_command();
    test_29_command();
    EXPECT_EQ(out.text(), "10000  10 255   0 128 ");

    unit_answers({{0x53, unit::test_53_reply(7)}});
    stdout_capture narrow;
    test_53_command();
    EXPECT_EQ(narrow.text(), "   7 ");
}

// Each failure resets the line: a real pause apiece.
TEST_F(Diag, FailedDumpShowsLengthZeroAndFailedPrinterShowsNothing)
{
    unit::bytes bad_header = unit::reply_frame(0x2B, unit::bytes{1, 2});
    unit::spoil_header_check(bad_header);
    unit_answers({{0x2B, bad_header}, {0x5A, unit::adc_reply({1, 2, 3, 4})}});
    stdout_capture out;
    test_command(0x47); // silence
    test_2b_command();
    test_5a_command(); // the line works again after the resets
    EXPECT_EQ(out.text(), "\n#\n# Cmd 0x47 0x00 byte reply: \n# ASCII (.): \n# ASCII ( ): "
                          "cs ok   4   0   4   0   3   0   2   0   1 ");
}

TEST_F(Diag, FailedFixedLengthQueriesShowNothing)
{
    unit_answers({
        {0x53, with_bad_payload_check(unit::test_53_reply(500))},
        {0x29, unit::test_29_reply({1, 2, 3, 4})},
    });
    stdout_capture out;
    test_53_command(); // strict: a bad payload check fails it
    test_29_command();
    unit_answers({}); // from now on silence
    test_29_command();
    EXPECT_EQ(out.text(), "  1   2   3   4 ");
}

} // namespace
