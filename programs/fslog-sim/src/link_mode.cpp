#include "sim/link_mode.hpp"

#include "cli/exit_status.hpp"
#include "sim/signal_pipe.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace sim {

namespace {

// Points `path` at the device, replacing an old symlink (left behind by a
// simulator that was killed) but nothing else.
void make_link(const std::string& path, const std::string& device)
{
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        unlink(path.c_str());
    }
    if (symlink(device.c_str(), path.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), "symlink " + path);
    }
}

// Removes the link unless something else has taken its place meanwhile.
void remove_link(const std::string& path, const std::string& device)
{
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length >= 0 && std::string(target, static_cast<std::size_t>(length)) == device) {
        unlink(path.c_str());
    }
}

} // namespace

int serve_link(simulator& unit, int signals, const std::string& link_path, const std::string& device)
{
    make_link(link_path, device);
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    unit.serve(signals, [signals] {
        const std::vector<int> caught = caught_signals(signals);
        return std::any_of(caught.begin(), caught.end(), [](int number) { return number != SIGCHLD; });
    });
    remove_link(link_path, device);
    return cli::exit_ok;
}

} // namespace sim
