// logread: the files given together to a tool, read in the order given as
// one log ("unit.log.2.gz unit.log.1 unit.log"): a run goes on from one
// file into the next, as it does across a rotation.
//
// Files that overlap in time are no such log: two units' logs, or one
// unit's files not given oldest first. Reading stops at the first row
// whose absolute time lies before the last row of the file before it.
// Start lines show whole seconds, so a time may read up to a second early:
// only a row more than a second before that one counts.
#pragma once

#include "logread/line_reader.hpp"
#include "logread/local_time.hpp"

#include <functional>
#include <string>
#include <vector>

namespace logread {

enum class files_end {
    done,        // every file was read
    open_failed, // a file could not be opened
    read_failed, // a file could not be read on
    overlap,     // a file overlaps the one before it
    stopped,     // after_piece asked to stop
};

struct files_read {
    files_end end = files_end::done;
    // What went wrong, for a message after the program's name: "can't open
    // unit.log: No such file or directory", or the overlap with both files
    // and both times (shown in `zone`).
    std::string problem;
};

// Reads the files in order into `events` (each file announced through
// on_file). `after_piece`, when given, runs after each piece read;
// returning false stops the reading.
files_read read_log_files(const std::vector<std::string>& paths, log_events& events, time_zone zone,
                          const std::function<bool()>& after_piece = {});

} // namespace logread
