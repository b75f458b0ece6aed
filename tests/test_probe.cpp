// fslog-probe as a subprocess, against a stand-in unit on a pty.
#include "harness.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using harness::child_process;
using harness::exited_with;
using harness::pty_pair;

const std::string probe = FSLOG_PROBE_BIN;

// fslog-probe run to its end with `codes`, against a unit that answers each
// code in `by_code` and stays silent to others.
harness::finished_run probe_against(std::map<std::uint8_t, unit::bytes> by_code,
                                    std::vector<std::string> codes = {})
{
    pty_pair line;
    const harness::scripted_unit unit(line, harness::answering(std::move(by_code)));
    codes.insert(codes.begin(), {probe, line.slave_path()});
    return harness::run_to_end(codes, 10s);
}

TEST(Probe, BadArgumentsAreRefusedBeforeThePortIsTouched)
{
    child_process no_device({probe});
    EXPECT_TRUE(exited_with(no_device.wait(5s), 2));
    EXPECT_TRUE(no_device.err().starts_with("fslog-probe: no DEVICE given\n")) << no_device.err();
    EXPECT_EQ(no_device.out(), "");

    // The device does not exist either: a code error must win over it.
    for (const std::string code : {"2G", "100", "0x100", "", "0x", "+2", " 2B", "2B "}) {
        child_process bad({probe, "/nonexistent/ttyUSB0", "2B", code});
        EXPECT_TRUE(exited_with(bad.wait(5s), 2)) << "[" << code << "]";
        EXPECT_TRUE(bad.err().starts_with("fslog-probe: not a command code: " + code + "\n")) << bad.err();
        EXPECT_EQ(bad.out(), "");
    }

    pty_pair line;
    child_process late_bad_code({probe, line.slave_path(), "2B", "XY"});
    EXPECT_TRUE(exited_with(late_bad_code.wait(5s), 2));
    EXPECT_FALSE(line.next_command(300ms).has_value()) << "nothing may be sent before all codes are checked";
}

// The port's refusal as a user meets it: the line fslog also prints on
// stdout, and the reason with what to do about it on stderr.
void expect_refusal(child_process& run, const std::string& device, const std::string& reason)
{
    EXPECT_TRUE(exited_with(run.wait(5s), 1));
    EXPECT_EQ(run.out(), "\nCouldn't open port " + device + "\n");
    EXPECT_TRUE(run.err().starts_with("fslog-probe: " + device + ": " + reason)) << run.err();
}

TEST(Probe, SaysWhyThePortWontOpen)
{
    child_process missing({probe, "/nonexistent/ttyUSB0", "2B"});
    expect_refusal(missing, "/nonexistent/ttyUSB0", "No such file or directory\n");
    EXPECT_EQ(missing.err().find("dialout"), std::string::npos);

    pty_pair line;
    const int holder = open(line.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    child_process held({probe, line.slave_path()});
    expect_refusal(held, line.slave_path(), "another program holds the port");
    close(holder);

    // A user without access to the port: the pty is made unreadable, and
    // root runs the probe without the capabilities that override that.
    ASSERT_EQ(chmod(line.slave_path().c_str(), 0), 0);
    std::vector<std::string> as_outsider{probe, line.slave_path()};
    if (geteuid() == 0) {
        as_outsider.insert(as_outsider.begin(),
                           {"/usr/bin/setpriv", "--inh-caps=-all", "--bounding-set=-all"});
    }
    child_process refused(as_outsider);
    expect_refusal(refused, line.slave_path(), "Permission denied\n");
    EXPECT_NE(refused.err().find("sudo adduser $USER dialout"), std::string::npos) << refused.err();
}

TEST(Probe, WithoutCodesRunsTheEightTestQueriesOneLineEach)
{
    const auto run = probe_against({
        {0x53, unit::test_53_reply(1234)},
        {0x29, unit::test_29_reply({1, 2, 3, 4})},
        {0x2B, unit::reply_frame(0x2B, unit::bytes{0x41})},
        {0x47, unit::empty_reply(0x47)},
        {0x5A, unit::adc_reply({1, 2, 3, 4})},
        {0x61, unit::reply_frame(0x61, unit::bytes{200, 7})},
        {0x65, unit::reply_frame(0x65, unit::bytes{0, 255})},
        {0x67, unit::reply_frame(0x67, unit::bytes{7})},
    });
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "0x53: 1234 \n"
                       "0x29:   1   2   3   4 \n"
                       "0x2B: cs ok  65  65 \n"
                       "0x47: cs ok \n"
                       "0x5A: cs ok   4   0   4   0   3   0   2   0   1 \n"
                       "0x61: cs ok 207   7 200 \n"
                       "0x65: cs ok 255 255   0 \n"
                       "0x67: cs ok   7   7 \n");
    EXPECT_EQ(run.err, "");
}

TEST(Probe, WithCodesDumpsEachReplyInTurn)
{
    const auto run = probe_against(
        {
            {0x2B, unit::reply_frame(0x2B, unit::bytes{0x41})},
            {0x47, unit::empty_reply(0x47)},
            {0x07, unit::reply_frame(0x07, unit::bytes{})},
        },
        {"2b", "0x47", "7"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "\n#\n# Cmd 0x2B cs ok 0x06 byte reply: [2B] [06] [00] [2D] [41] [41] "
                       "\n# ASCII (.): +..-AA\n# ASCII ( ): +  -AA"
                       "\n#\n# Cmd 0x47 cs ok 0x04 byte reply: [47] [04] [00] [43] "
                       "\n# ASCII (.): G..C\n# ASCII ( ): G  C"
                       "\n#\n# Cmd 0x07 cs ok 0x05 byte reply: [07] [05] [00] [02] [00] "
                       "\n# ASCII (.): .....\n# ASCII ( ):      "
                       "\n");
    EXPECT_EQ(run.err, "");
}

} // namespace
