#include "sim/signal_pipe.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace sim {

namespace {

// The pipe's end the handler writes to.
int signal_pipe_out = -1;

extern "C" void on_signal(int number)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t ignored = write(signal_pipe_out, &byte, 1);
    errno = saved;
}

} // namespace

int catch_signals()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    signal_pipe_out = ends[1];
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaction(number, &action, nullptr);
    }
    return ends[0];
}

std::vector<int> caught_signals(int signals)
{
    std::vector<int> numbers;
    unsigned char byte = 0;
    while (read(signals, &byte, 1) == 1) {
        numbers.push_back(byte);
    }
    return numbers;
}

} // namespace sim
