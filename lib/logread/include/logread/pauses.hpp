// logread: a paused logger, told from failed queries. Between two rows of
// a run, neither with a failed query, a time longer than a failed query
// and its reset take means fslog was not running: stopped (SIGSTOP), a
// suspended host, a stalled output. The counts carry on over it.
#pragma once

#include "logread/line_reader.hpp"

#include <cstddef>
#include <optional>

namespace logread {

class pause_watch {
public:
    // The seconds fslog was paused before this row; 0 when it was not.
    double take(const row_event& row);

private:
    std::optional<std::size_t> run_; // of the row before
    double last_elapsed_ = 0;
    bool last_failed_ = false; // a query failed in the row before
};

} // namespace logread
