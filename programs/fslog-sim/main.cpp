// fslog-sim: plays the unit at the far end of a serial line on a
// pseudo-terminal, either for one command run against it or, with --link,
// until it is interrupted; or, with --emit-log, writes at once the log that
// fslog would write of it.
#include "sim/command_mode.hpp"
#include "sim/link_mode.hpp"
#include "sim/log_emitter.hpp"
#include "sim/options.hpp"
#include "sim/signal_pipe.hpp"
#include "sim/simulator.hpp"
#include "unit/pty_line.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>
#include <sys/prctl.h>
#include <system_error>

namespace {

// A file the simulator writes, or none for an empty path. "e": close-on-exec,
// so the command run against the line does not hold it open.
std::unique_ptr<std::FILE, int (*)(std::FILE*)> open_output(const std::string& path)
{
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "we");
    if (!path.empty() && file == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot write " + path);
    }
    return {file, [](std::FILE* open) { return open == nullptr ? 0 : std::fclose(open); }};
}

// Closes a file the simulator wrote, saying whether all of it got there.
void close_output(std::unique_ptr<std::FILE, int (*)(std::FILE*)> file, const std::string& path)
{
    if (file != nullptr && std::fclose(file.release()) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot write " + path);
    }
}

int serve(const sim::sim_options& options, std::uint64_t seed, std::FILE* truth)
{
    auto record = open_output(options.record_path);
    const int signals = sim::catch_signals();
    const unit::pty_line line = unit::open_pty_line();
    sim::simulator unit(options, seed, line.master, record.get(), truth);
    const int status = options.command.empty() ? sim::serve_link(unit, signals, options.link_path, line.path)
                                               : sim::run_command(unit, signals, options.command, line.path);
    std::fprintf(stderr, "%s\n", unit.finish().c_str());
    if (unit.record_failed()) {
        // Said at once; closing the record can only fail again. The run
        // fails for it unless the command failed of itself.
        record.reset();
        return status == cli::exit_ok ? cli::exit_failure : status;
    }
    close_output(std::move(record), options.record_path);
    return status;
}

int emit(const sim::sim_options& options, std::uint64_t seed, std::FILE* truth)
{
    sim::unit_model unit(seed, options.oscillator, truth);
    sim::fault_picker faults(options.faults, seed);
    // A large buffer: a week of rows is about 1 GB.
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    const std::uint64_t commands = sim::emit_log(unit, faults, *options.emit_log_seconds, seed, stdout);
    std::fprintf(stderr, "%s\n", faults.summary(commands).c_str());
    return cli::exit_ok;
}

int run(const sim::sim_options& options)
{
    const std::uint64_t seed = options.seed.value_or(std::random_device{}());
    auto truth = open_output(options.truth_path);
    const int status =
        options.emit_log_seconds ? emit(options, seed, truth.get()) : serve(options, seed, truth.get());
    close_output(std::move(truth), options.truth_path);
    return status;
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
