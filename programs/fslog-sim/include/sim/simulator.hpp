// The simulated unit serving its end of the line: it reads the host's
// commands, answers each from the unit model with a fault drawn for it,
// puts the reply's bytes on the line as they fall due, and records each
// command once everything for it has gone out.
#pragma once

#include "sim/fault_picker.hpp"
#include "sim/line_schedule.hpp"
#include "sim/options.hpp"
#include "sim/unit_model.hpp"
#include "unit/unit_side.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace sim {

class simulator {
public:
    // Serves on `master`, the unit's end of the line, which it makes
    // non-blocking; writes the record to `record` and the oscillator's
    // seconds to `truth`, each to nowhere when null.
    simulator(const sim_options& options, std::uint64_t seed, int master, std::FILE* record,
              std::FILE* truth);

    // Serves until `should_stop` says so. It is asked each time `wake` turns
    // readable, and reads `wake` itself.
    void serve(int wake, const std::function<bool()>& should_stop);

    // Records what was only partly sent, and returns the fault tally.
    std::string finish();

    // Whether a line of the record could not be written (said on stderr).
    bool record_failed() const { return record_failed_; }

private:
    double now() const;
    std::optional<timespec> poll_timeout() const;
    void read_commands();
    void answer(std::uint8_t code);
    void send_due_bytes();
    void record(const answered_command& command);

    unit_model model_;
    fault_picker faults_;
    line_schedule schedule_;
    unit::command_parser parser_;
    int master_;
    std::FILE* record_;
    bool record_failed_ = false;
    std::uint64_t commands_ = 0;
    bool blocked_ = false;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace sim
