// fslog-report --follow's screen: what a log still being written shows now
// (see live_state.hpp), in 80 columns. The newest values (marked when older
// than 30 s), the last minute and hour of each series, rows per second,
// the faults in all and in the last hour, and the time since the last row
// beside the time since the last complete row. For a log kept by something
// other than a terminal, the same in one line.
#pragma once

#include "logread/local_time.hpp"
#include "report/live_state.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace report {

class live_view {
public:
    // Shows `state` with times in `zone`.
    live_view(const live_state& state, logread::time_zone zone) : state_(state), zone_(zone) {}

    // The screen at wall-clock time `now` (seconds since the epoch).
    std::vector<std::string> screen(double now) const;
    // The same in one line.
    std::string summary_line(double now) const;

private:
    std::string run_text() const;
    std::string reading_note() const;
    std::string since_rows(double now, bool alarm) const;
    std::string latest_cell(std::size_t series, double now) const;
    bool any_stale(double now) const;
    void add_series_lines(std::vector<std::string>& lines, double now) const;
    void add_fault_lines(std::vector<std::string>& lines) const;

    const live_state& state_;
    logread::time_zone zone_;
};

} // namespace report
