// logread: a log followed by its name while fslog writes it (see
// file_follower.hpp for rotation and truncation), read line by line.
#pragma once

#include "logread/file_follower.hpp"
#include "logread/line_reader.hpp"

#include <array>
#include <string>

namespace logread {

// A followed log read line by line: the follower's bytes go into a
// line_reader, which reports to the caller's log_events. The last line,
// which has no line end (fslog ends each row only when it starts the next,
// and writes a row in one piece), is taken as a row once the file has not
// grown for a whole poll, so a live view shows the newest row at once
// rather than one row late. A file that replaces the followed one (a
// rotation by rename) ends its reading as at the end of a file; a
// truncated one goes on as the same log, so its rows continue the run.
class followed_log {
public:
    followed_log(std::string path, log_events& events);

    // Reads what there is now, at most a few megabytes at a time so that the
    // caller stays responsive while a long log is read from its start.
    // Returns data when there may be more to read at once, idle once the
    // file is read to its end (or while there is none), or a failure.
    follow_result poll();

    const file_follower& follower() const { return follower_; }

private:
    file_follower follower_;
    line_reader reader_;
    bool idle_before_ = false; // the last poll ended idle, with nothing read since
    static constexpr int pieces_per_poll = 64;
    std::array<char, 1 << 16> buffer_{};
};

} // namespace logread
