#include "sim/command_mode.hpp"

#include "cli/exit_status.hpp"
#include "sim/signal_pipe.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace sim {

namespace {

pid_t start_command(std::vector<std::string> command, const std::string& device)
{
    command.push_back(device);
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (std::string& arg : command) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (child == 0) {
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "fslog-sim: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(cli::exit_cannot_run);
    }
    return child;
}

int exit_status_of(int wait_status)
{
    return WIFSIGNALED(wait_status) ? cli::exit_signal_base + WTERMSIG(wait_status)
                                    : WEXITSTATUS(wait_status);
}

} // namespace

int run_command(simulator& unit, int signals, std::vector<std::string> command, const std::string& device)
{
    const pid_t child = start_command(std::move(command), device);
    int status = 0;
    unit.serve(signals, [&] {
        for (const int number : caught_signals(signals)) {
            if (number != SIGCHLD) {
                kill(child, number);
            }
        }
        return waitpid(child, &status, WNOHANG) == child;
    });
    return exit_status_of(status);
}

} // namespace sim
