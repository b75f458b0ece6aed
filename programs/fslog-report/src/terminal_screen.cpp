// The live view's terminal: see terminal_screen.hpp.
#include "report/terminal_screen.hpp"

#include "logread/write_all.hpp"

#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace report {

namespace {

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void note_stop(int number)
{
    caught_signal = number;
}

constexpr std::string_view enter_screen = "\x1b[?1049h\x1b[?25l"; // alternate screen, cursor hidden
constexpr std::string_view leave_screen = "\x1b[?25h\x1b[?1049l";
constexpr std::string_view home = "\x1b[H";
constexpr std::string_view clear_line_rest = "\x1b[K";
constexpr std::string_view clear_screen_rest = "\x1b[J";

} // namespace

int stop_signal()
{
    return caught_signal;
}

void catch_stop_signals()
{
    struct sigaction action {};
    action.sa_handler = note_stop;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr); // no SA_RESTART: a pause ends at once
    }
}

terminal_screen::terminal_screen(int fd) : fd_(fd)
{
    logread::write_all(fd_, enter_screen);
}

terminal_screen::~terminal_screen()
{
    logread::write_all(fd_, leave_screen);
}

void terminal_screen::draw(const std::vector<std::string>& lines) const
{
    // Lines cut to the terminal's width, so none wraps and moves the rest
    // down; a highlighted one is short enough as it is.
    winsize size{};
    const bool sized = ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0;
    std::string frame(home);
    for (const std::string& line : lines) {
        const bool plain = line.find('\x1b') == std::string::npos;
        frame += sized && plain ? line.substr(0, size.ws_col) : line;
        frame += clear_line_rest;
        frame += "\r\n";
    }
    frame += clear_screen_rest;
    // A terminal that is gone takes nothing more; the next frame tries again.
    logread::write_all(fd_, frame);
}

std::string terminal_screen::alarm(const std::string& text)
{
    return "\x1b[1;37;41m" + text + "\x1b[0m";
}

} // namespace report
