// The port layer against a real pseudo-terminal.
#include "harness.hpp"
#include "link/serial_port.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pthread.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using harness::pty_pair;
using harness::scratch_dir;
using harness::seconds_since;
using clock_type = std::chrono::steady_clock;

bool holds_a_lock(const std::string& descriptor)
{
    std::ifstream info("/proc/self/fdinfo/" + descriptor);
    std::string line;
    while (std::getline(info, line)) {
        if (line.starts_with("lock:")) {
            return true;
        }
    }
    return false;
}

// The descriptor the port layer has open on `device`, as the system shows
// it: of this process's descriptors on the device, the one holding the
// port's lock (the test's own pty descriptors hold none). -1 for none.
int port_descriptor(const std::string& device)
{
    const std::filesystem::path target = std::filesystem::canonical(device);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string descriptor = entry.path().filename();
        if (std::filesystem::read_symlink(entry.path(), error) == target && holds_a_lock(descriptor)) {
            return std::stoi(descriptor);
        }
    }
    return -1;
}

TEST(SerialInit, ConfiguresA9600Baud8N1RawLineWithTwoSecondTimeout)
{
    pty_pair line;
    // Leave the pty cooked and echoing first, so the test sees that the
    // settings are built fresh rather than edited from what was there.
    termios cooked{};
    tcgetattr(line.master(), &cooked);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    tcsetattr(line.master(), TCSANOW, &cooked);

    ASSERT_EQ(serial_init(line.slave_path().c_str()), 1);
    const int port = port_descriptor(line.slave_path());
    ASSERT_GE(port, 0);
    termios applied{};
    ASSERT_EQ(tcgetattr(port, &applied), 0);
    EXPECT_EQ(cfgetispeed(&applied), B9600);
    EXPECT_EQ(cfgetospeed(&applied), B9600);
    // Exactly these: no parity, one stop bit, no flow control, and no HUPCL,
    // which would drop the unit's modem lines whenever the port is closed.
    EXPECT_EQ(applied.c_cflag, static_cast<tcflag_t>(CS8 | CREAD | CLOCAL | B9600));
    EXPECT_EQ(applied.c_iflag, 0u);
    EXPECT_EQ(applied.c_oflag, 0u);
    EXPECT_EQ(applied.c_lflag, 0u);
    EXPECT_EQ(applied.c_cc[VMIN], 0);
    EXPECT_EQ(applied.c_cc[VTIME], 20);
    EXPECT_EQ(fcntl(port, F_GETFD), FD_CLOEXEC) << "nothing we run may inherit the port";
}

TEST(SerialInit, FailsWithTheSystemsReasonAndLeavesNothingOpenForPathsThatAreNoSerialLine)
{
    for (const auto& [path, reason] : {std::pair{"/nonexistent/tty", ENOENT}, {"/dev/null", ENOTTY}}) {
        const int open_before = dup(0);
        close(open_before);
        EXPECT_EQ(serial_init(path), 0) << path;
        EXPECT_EQ(serial_open_error().error, reason) << path;
        EXPECT_FALSE(serial_open_error().held_elsewhere) << path;
        // The next descriptor number is the same: nothing was left open.
        const int open_after = dup(0);
        close(open_after);
        EXPECT_EQ(open_after, open_before) << path;
    }
}

TEST(SerialInit, RefusesAPortAnotherProcessHoldsLocked)
{
    pty_pair line;
    const int other = open(line.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(serial_init(line.slave_path().c_str()), 0);
    EXPECT_TRUE(serial_open_error().held_elsewhere);
    EXPECT_EQ(port_descriptor(line.slave_path()), other) << "only the holder's descriptor is open";
    close(other);
    EXPECT_EQ(serial_init(line.slave_path().c_str()), 1) << "the lock is gone with its holder";
    EXPECT_EQ(serial_open_error().error, 0);
    EXPECT_FALSE(serial_open_error().held_elsewhere);
}

TEST(SerialReset, DoesNothingBeforeTheFirstSuccessfulOpen)
{
    ASSERT_EQ(serial_init("/nonexistent/tty"), 0);
    const auto start = clock_type::now();
    serial_reset();
    EXPECT_LT(seconds_since(start), 0.5);
}

using ReadReply = harness::port_on_pty;

TEST_F(ReadReply, CountOfZeroReturnsAtOnceWithoutReading)
{
    line.send({0x11});
    std::array<std::uint8_t, 4> dest{};
    const auto start = clock_type::now();
    EXPECT_EQ(read_reply(dest.data(), 0), 0);
    EXPECT_EQ(read_reply(dest.data(), -3), 0);
    EXPECT_LT(seconds_since(start), 0.5);
    EXPECT_EQ(read_reply(dest.data(), 1), 1);
    EXPECT_EQ(dest[0], 0x11) << "the queued byte was left for the next read";
}

TEST_F(ReadReply, GathersBurstsUpToTheCountAndNeverReadsBeyondIt)
{
    std::thread unit([&] {
        line.send({1, 2, 3});
        std::this_thread::sleep_for(300ms);
        line.send({4, 5});
        std::this_thread::sleep_for(300ms);
        line.send({6, 7, 8, 9}); // 8 and 9 belong to the next read
    });
    std::array<std::uint8_t, 8> dest{};
    EXPECT_EQ(read_reply(dest.data(), 7), 7);
    unit.join();
    EXPECT_EQ(dest, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(read_reply(dest.data(), 2), 2);
    EXPECT_EQ(dest[0], 8);
    EXPECT_EQ(dest[1], 9);
}

TEST_F(ReadReply, PartialReplyThenSilenceFailsAfterTwoSecondsKeepingWhatCame)
{
    line.send({1, 2, 3, 4, 5, 6});
    std::array<std::uint8_t, 13> dest{};
    const auto start = clock_type::now();
    EXPECT_EQ(read_reply(dest.data(), 13), 0);
    const double waited = seconds_since(start);
    EXPECT_GT(waited, 1.8);
    EXPECT_LT(waited, 3.0);
    EXPECT_EQ(dest[5], 6);
    EXPECT_EQ(dest[6], 0);
}

using SerialResetOfAnOpenPort = harness::port_on_pty;

TEST_F(SerialResetOfAnOpenPort, PausesFourSecondsAndDiscardsWhatArrivesMeanwhile)
{
    line.send({0xAA, 0xBB}); // queued before the reset
    std::thread late_reply([&] {
        std::this_thread::sleep_for(1500ms);
        line.send({0xCC, 0xDD, 0xEE}); // the rest of a late reply
    });
    const auto start = clock_type::now();
    serial_reset();
    const double paused = seconds_since(start);
    late_reply.join();
    EXPECT_GT(paused, 3.9);
    EXPECT_LT(paused, 5.0);

    line.send({0x42});
    std::array<std::uint8_t, 1> dest{};
    ASSERT_EQ(read_reply(dest.data(), 1), 1);
    EXPECT_EQ(dest[0], 0x42) << "bytes from before or during the pause must be gone";
    termios applied{};
    ASSERT_EQ(tcgetattr(port_descriptor(line.slave_path()), &applied), 0);
    EXPECT_EQ(applied.c_cc[VTIME], 20) << "the line is configured again";
}

using SignalFlood = harness::port_on_pty;

extern "C" void ignore_signal(int /*number*/) {}

// fslog catches SIGUSR1 without SA_RESTART; signals every 50 ms (logrotate
// gone wild) must stretch neither a silent unit's timeout nor the pause.
TEST_F(SignalFlood, HoldsTheReplyTimeoutAndTheResetPause)
{
    struct sigaction action {};
    struct sigaction before {};
    action.sa_handler = ignore_signal;
    sigaction(SIGUSR1, &action, &before);
    std::atomic<bool> flooding = true;
    const pthread_t reader = pthread_self();
    std::thread flood([&] {
        const auto began = clock_type::now();
        while (flooding && seconds_since(began) < 8.0) { // bounded, should the read never end
            pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(50ms);
        }
    });
    auto start = clock_type::now();
    serial_reset();
    const double paused = seconds_since(start);
    std::array<std::uint8_t, 1> dest{};
    start = clock_type::now();
    EXPECT_EQ(read_reply(dest.data(), 1), 0);
    const double waited = seconds_since(start);
    flooding = false;
    flood.join();
    sigaction(SIGUSR1, &before, nullptr);
    EXPECT_GT(waited, 1.9);
    EXPECT_LT(waited, 3.0);
    EXPECT_GT(paused, 3.9);
    EXPECT_LT(paused, 5.0);
}

// One exchange's worth of port calls that fails: a command, no reply.
void fail_an_exchange()
{
    std::array<std::uint8_t, 4> bytes{0x5A, 0x04, 0x00, 0x5E};
    serial_write(bytes.data(), 4);
    EXPECT_EQ(read_reply(bytes.data(), 1), 0);
}

// A USB adapter that goes hangs its tty up: reads bring end of file, as
// from a silent unit, and writes fail.
TEST_F(SerialResetOfAnOpenPort, ReopensALineThatHungUp)
{
    if (!line.hang_up()) {
        GTEST_SKIP() << "hanging up a pty needs CAP_SYS_ADMIN";
    }
    fail_an_exchange();
    serial_reset();
    line.send({0x42});
    std::array<std::uint8_t, 1> dest{};
    ASSERT_EQ(read_reply(dest.data(), 1), 1) << "still reading the hung-up descriptor";
    EXPECT_EQ(dest[0], 0x42);
}

TEST(SerialReset, AfterAReopenTheNextResetKeepsTheHealthyPort)
{
    const scratch_dir dir("fslog-reopen");
    const std::string link = dir / "usb-unit";
    auto line = std::make_unique<pty_pair>();
    std::filesystem::create_symlink(line->slave_path(), link);
    ASSERT_EQ(serial_init(link.c_str()), 1);

    // Unplugged: the command fails with EIO, and the reset opens the new device.
    auto replugged = std::make_unique<pty_pair>();
    line.reset();
    std::filesystem::remove(link);
    std::filesystem::create_symlink(replugged->slave_path(), link);
    fail_an_exchange();
    serial_reset();
    const int port = port_descriptor(link);
    ASSERT_EQ(fcntl(port, F_GETFD), FD_CLOEXEC) << "reopened with O_CLOEXEC";

    // Mark this descriptor: a reopen would bring a fresh one, close-on-exec again.
    fcntl(port, F_SETFD, 0);
    serial_reset();
    EXPECT_EQ(fcntl(port_descriptor(link), F_GETFD), 0)
        << "the error before the last reset reopened a healthy port";
    replugged->send({0x42});
    std::array<std::uint8_t, 1> dest{};
    EXPECT_EQ(read_reply(dest.data(), 1), 1);
}

} // namespace
