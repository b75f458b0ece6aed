// A paused logger: see pauses.hpp.
#include "logread/pauses.hpp"

#include "logread/row_facts.hpp"
#include "protocol/line_timing.hpp"

namespace logread {

namespace {

// The longest a row takes whose queries all answered, and more: a failed
// query's timeout and the line's reset.
constexpr double longest_row_seconds = protocol::reply_timeout_seconds + protocol::reset_pause_seconds;

} // namespace

double pause_watch::take(const row_event& row)
{
    const auto happened = faults_of(row.values);
    const bool failed = happened[adc_failed] || happened[dds_failed] || happened[tuning_failed];
    const double since_last = row.values.elapsed - last_elapsed_;
    // A failed query in the row before (its tuning query is the row's last) explains the time too.
    const bool paused = run_ == row.run && !failed && !last_failed_ && since_last > longest_row_seconds;
    run_ = row.run;
    last_elapsed_ = row.values.elapsed;
    last_failed_ = failed;
    return paused ? since_last : 0;
}

} // namespace logread
