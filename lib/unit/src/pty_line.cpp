#include "unit/pty_line.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace unit {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// What follows the master's opening: the pair made raw, and its slave open.
void make_raw_and_open_slave(pty_line& line)
{
    if (grantpt(line.master) != 0 || unlockpt(line.master) != 0) {
        fail("posix_openpt");
    }
    line.path = ptsname(line.master);
    termios settings{};
    if (tcgetattr(line.master, &settings) != 0) {
        fail("tcgetattr");
    }
    cfmakeraw(&settings);
    if (tcsetattr(line.master, TCSANOW, &settings) != 0) {
        fail("tcsetattr");
    }
    line.slave = open(line.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.slave < 0) {
        fail("open " + line.path);
    }
}

} // namespace

pty_line open_pty_line()
{
    pty_line line;
    line.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.master < 0) {
        fail("posix_openpt");
    }
    try {
        make_raw_and_open_slave(line);
    } catch (...) {
        close(line.master);
        throw;
    }
    return line;
}

} // namespace unit
