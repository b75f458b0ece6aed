#include "link/serial_port.hpp"

#include "protocol/line_timing.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Everything the port layer keeps between calls. There is one port per
// process, and only the functions below touch it.
struct port_state {
    // Descriptor of the open port; negative whenever the port is not open
    // (before the first open, after a failed one, or while an unplugged
    // adapter has not come back yet).
    int fd = -1;
    // The path the port was opened with, kept for reopening after the
    // adapter drops off the bus. Empty until the first successful open. A
    // fixed buffer: a path that does not fit could not be opened anyway.
    std::array<char, 4096> path{};
    // errno of the last failed read or write on the line since the last reset.
    int line_errno = 0;
    // Why the last open of the port failed, or nothing after a good one.
    port_open_error open_error{};
};

port_state port;

// The settings are built from a zeroed record every time rather than from
// the port's current attributes, so that whatever a previous user of the
// device left behind (echo, canonical mode, flow control) cannot leak in.
termios line_settings()
{
    termios settings;
    std::memset(&settings, 0, sizeof settings);
    // CLOCAL: ignore modem status lines, so the open and reads don't wait
    // for carrier and closing doesn't hang up the unit.
    settings.c_cflag = CS8 | CREAD | CLOCAL;
    cfsetispeed(&settings, protocol::line_speed);
    cfsetospeed(&settings, protocol::line_speed);
    // VMIN 0, VTIME the reply timeout: a read returns as soon as one byte
    // is there, or with nothing after that much silence.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = protocol::reply_timeout_tenths;
    return settings;
}

// Drops pending data in both directions, then applies the settings at once.
// Flushing first keeps stale bytes from being read under the new settings.
// Returns 0, or the errno of the first call that failed.
int configure_line(int fd)
{
    const termios settings = line_settings();
    if (tcflush(fd, TCIOFLUSH) != 0) {
        return errno;
    }
    return tcsetattr(fd, TCSANOW, &settings) == 0 ? 0 : errno;
}

// USB serial adapters hold back what they have received until their
// latency timer runs out (16 ms by default on FTDI chips) or their buffer
// fills, so the end of every reply, and with it the next command, comes
// that much late. In low-latency mode the driver sets the timer to its
// minimum. Drivers without the setting (a pty, many others) refuse these
// calls, and then nothing changes. Not part of the line settings: it is
// asked for once per open, never per row.
void request_low_latency(int fd)
{
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
        ioctl(fd, TIOCSSERIAL, &info);
    }
}

// Opens, locks and configures `path`; returns the descriptor, or -1 with
// nothing left open and the reason in port.open_error. The lock comes
// before the settings are touched, so a refused second program never
// disturbs the line of the one that owns it.
// O_NOCTTY: the port must never become our controlling terminal, or a
// hang-up on the line would send us SIGHUP. O_CLOEXEC: nothing we might
// run inherits the port, nor with it our lock. The descriptor stays
// blocking; VTIME does the timing.
int open_line(const char* path)
{
    const int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        port.open_error = {errno, false};
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        port.open_error = {error, error == EWOULDBLOCK};
    } else if (const int error = configure_line(fd); error != 0) {
        port.open_error = {error, false};
    } else {
        port.open_error = {};
        request_low_latency(fd);
        return fd;
    }
    close(fd);
    return -1;
}

// Errors that mean the device itself went away (USB adapter unplugged or
// reset), as opposed to a unit that merely stays silent.
bool is_line_gone_error(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

timespec monotonic_now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

timespec later_by(timespec from, long milliseconds)
{
    constexpr long nanoseconds_per_second = 1'000'000'000;
    from.tv_sec += milliseconds / 1000;
    from.tv_nsec += milliseconds % 1000 * 1'000'000;
    if (from.tv_nsec >= nanoseconds_per_second) {
        from.tv_sec += 1;
        from.tv_nsec -= nanoseconds_per_second;
    }
    return from;
}

// Whole milliseconds from now until `deadline`, rounded up; 0 once it passed.
int milliseconds_until(timespec deadline)
{
    const timespec now = monotonic_now();
    const long long left_ns = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1'000'000'000LL +
                              (deadline.tv_nsec - now.tv_nsec);
    return left_ns > 0 ? static_cast<int>((left_ns + 999'999) / 1'000'000) : 0;
}

// The pause ends at a fixed time, however many signals cut the sleep.
void pause_for_reset()
{
    const timespec end = later_by(monotonic_now(), protocol::reset_pause_seconds * 1000L);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
    }
}

// One read of the line, timed out by VTIME. A signal that cuts it short
// (the logger catches SIGUSR1 without SA_RESTART) does not start the
// timeout again: the read goes on only for what is left of it, so that a
// flood of signals can't keep a silent unit from being found out. The
// clock is read through the vDSO, no system call on a steady row.
ssize_t read_line(std::uint8_t* dest, std::size_t count)
{
    const timespec deadline = later_by(monotonic_now(), protocol::reply_timeout_tenths * 100L);
    const ssize_t got = read(port.fd, dest, count);
    if (got >= 0 || errno != EINTR) {
        return got;
    }
    for (int left = milliseconds_until(deadline); left > 0; left = milliseconds_until(deadline)) {
        pollfd entry{port.fd, POLLIN, 0};
        const int ready = poll(&entry, 1, left);
        if (ready > 0) {
            return read(port.fd, dest, count);
        }
        if (ready < 0 && errno != EINTR) {
            return -1;
        }
    }
    return 0;
}

void close_line()
{
    if (port.fd >= 0) {
        close(port.fd);
    }
    port.fd = -1;
}

} // namespace

int serial_init(const char* device)
{
    close_line();
    port.path[0] = '\0';
    const std::size_t length = std::strlen(device);
    if (length >= port.path.size()) {
        port.open_error = {ENAMETOOLONG, false};
        return 0;
    }
    port.fd = open_line(device);
    if (port.fd < 0) {
        return 0;
    }
    std::memcpy(port.path.data(), device, length + 1);
    port.line_errno = 0;
    return 1;
}

port_open_error serial_open_error()
{
    return port.open_error;
}

void serial_reset()
{
    if (port.path[0] == '\0') {
        return;
    }
    bool gone = port.fd < 0 || is_line_gone_error(port.line_errno) || tcflush(port.fd, TCIOFLUSH) != 0;
    pause_for_reset();
    // The second flush discards whatever arrived during the pause, such as
    // the rest of a late reply, so the next command starts clean.
    if (!gone) {
        gone = configure_line(port.fd) != 0;
    }
    if (gone) {
        close_line();
        port.fd = open_line(port.path.data());
    }
    port.line_errno = 0;
}

int read_reply(std::uint8_t* dest, int count)
{
    int filled = 0;
    while (filled < count) {
        const ssize_t got = read_line(dest + filled, static_cast<std::size_t>(count - filled));
        if (got > 0) {
            filled += static_cast<int>(got);
            continue;
        }
        if (got < 0) {
            port.line_errno = errno;
        }
        return 0;
    }
    return filled;
}

void serial_write(const std::uint8_t* src, int count)
{
    ssize_t put = 0;
    do { // a signal (SIGUSR1, caught without SA_RESTART) is no fault of the line
        put = write(port.fd, src, static_cast<std::size_t>(count));
    } while (put < 0 && errno == EINTR);
    if (put < 0) {
        port.line_errno = errno;
    }
}
