#include "gnuplot/run.hpp"

#include "logread/write_all.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ; // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace gnuplot {

namespace {

std::string wait_for(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return std::string("can't wait for gnuplot: ") + std::strerror(errno);
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    return WIFEXITED(status) ? "gnuplot failed with status " + std::to_string(WEXITSTATUS(status))
                             : "gnuplot was ended by signal " + std::to_string(WTERMSIG(status));
}

} // namespace

std::string run_gnuplot(const std::string& script)
{
    std::array<int, 2> pipe_fds{};
    if (pipe2(pipe_fds.data(), O_CLOEXEC) != 0) {
        return std::string("can't make a pipe to gnuplot: ") + std::strerror(errno);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], STDIN_FILENO);
    std::array<char*, 2> argv{const_cast<char*>("gnuplot"), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, "gnuplot", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[0]);
    if (spawned != 0) {
        close(pipe_fds[1]);
        return spawned == ENOENT ? "gnuplot not found on PATH (Debian package gnuplot-nox)"
                                 : std::string("can't start gnuplot: ") + std::strerror(spawned);
    }
    // gnuplot that stops reading has failed, and says so on its own.
    const bool sent = logread::write_all(pipe_fds[1], script);
    close(pipe_fds[1]);
    std::string ended = wait_for(child);
    if (ended.empty() && !sent) {
        ended = "gnuplot did not read the whole script";
    }
    return ended;
}

std::string draw(const std::string& out, const std::function<std::string(const std::string& output)>& script)
{
    const std::string temporary = out + ".partial-" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return "can't write " + out + ": " + std::strerror(errno);
    }
    close(fd);
    const std::string trouble = run_gnuplot(script(temporary));
    if (!trouble.empty()) {
        unlink(temporary.c_str());
        return trouble + "; " + out + " not drawn";
    }
    if (std::rename(temporary.c_str(), out.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return "can't write " + out + ": " + std::strerror(error);
    }
    return {};
}

} // namespace gnuplot
