// The report's two forms: text for people, one JSON object for scripts.
// Each is written as the log is read: a run's block when the run has
// ended, then what follows the last run, so that neither grows with the
// number of runs.
#pragma once

#include "logread/local_time.hpp"
#include "report/log_summary.hpp"

#include <memory>
#include <string>

namespace report {

class report_form {
public:
    virtual ~report_form() = default;
    // The text to write for a run that has ended.
    virtual std::string run_block(const summary& run) = 0;
    // The text to write after the last run: all runs' figures, and the end.
    virtual std::string ending(const log_summary& log) = 0;
};

// Each run, then all runs together (when there are not just one); times
// in `zone`, with its name.
std::unique_ptr<report_form> text_report(logread::time_zone zone);

// "runs" first, holding each run's figures, then the figures of all runs
// at the top level. Keys scripts may rely on: rows, complete_rows,
// failures (adc, dds, tuning), cs_bad (dds, tuning), runs, channels (rail,
// trimpot, temperature, vcxo, each with min, mean, max and sd). Times are
// ISO 8601 with their offset in `zone`. Bytes in a start line that are no
// UTF-8 become U+FFFD, so the JSON stays valid.
std::unique_ptr<report_form> json_report(logread::time_zone zone);

} // namespace report
