// fslog-sim: plays the unit at the far end of a serial line on a
// pseudo-terminal, either for one command run against it or, with --link,
// until it is interrupted.
#include "sim/command_mode.hpp"
#include "sim/link_mode.hpp"
#include "sim/options.hpp"
#include "sim/signal_pipe.hpp"
#include "sim/simulator.hpp"
#include "unit/pty_line.hpp"

#include <cerrno>
#include <cstdio>
#include <random>
#include <sys/prctl.h>
#include <system_error>

namespace {

int run(const sim::sim_options& options)
{
    std::FILE* record = nullptr;
    // "e": close-on-exec, so the command run against the line does not hold the record open.
    if (!options.record_path.empty() && (record = std::fopen(options.record_path.c_str(), "we")) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot write " + options.record_path);
    }
    const std::uint64_t seed = options.seed.value_or(std::random_device{}());
    const int signals = sim::catch_signals();
    const unit::pty_line line = unit::open_pty_line();
    sim::simulator unit(options, seed, line.master, record);
    const int status = options.command.empty() ? sim::serve_link(unit, signals, options.link_path, line.path)
                                               : sim::run_command(unit, signals, options.command, line.path);
    std::fprintf(stderr, "%s\n", unit.finish().c_str());
    const bool recorded = !unit.record_failed() && (record == nullptr || std::fclose(record) == 0);
    return recorded || status != cli::exit_ok ? status : cli::exit_failure;
}

} // namespace

int main(int argc, char** argv)
{
    const sim::parsed_options parsed = sim::parse_options(argc, argv);
    if (const auto status = cli::answer(sim::program(), parsed.line)) {
        return *status;
    }
    // The default 50 us of timer slack lands on every reply's last byte,
    // and so on every exchange: enough to keep the line below its speed.
    prctl(PR_SET_TIMERSLACK, 1UL);
    try {
        return run(parsed.options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fslog-sim: %s\n", error.what());
        return cli::exit_failure;
    }
}
