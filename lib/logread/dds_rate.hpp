// logread: the DDS 2 rate, in counts per second. A row's delta dds2 spans
// the time from the DDS reading before it (a failed DDS query shows no
// reading, and the next delta spans the missed one), so the rate is the
// delta divided by the elapsed time between the two rows that hold the
// readings. The first DDS reading of a run has no rate: its delta is dds 2
// itself, no change. Nor does the first one read when the log begins in the
// middle of a run (a rotated file): the reading before it is not known.
//
// A reading is timed by its row's elapsed time, which is taken before the
// row's ADC query. When that query failed, the line was reset (some 4 to 6
// s) before the DDS query ran, so the reading's time is not known: that
// reading gives no rate, nor does the next one, which spans from it.
#pragma once

#include "logread/line_reader.hpp"

#include <cstddef>
#include <optional>

namespace logread {

class dds_rate {
public:
    // The row's rate; nothing for a row without a DDS reading, the first
    // reading of a run, a reading of unknown time or the one after it, or
    // one whose elapsed time does not come after the reading before it (a
    // clock set back).
    std::optional<double> take(const row_event& row);

private:
    std::optional<double> last_elapsed_; // of the last DDS reading in this run, if known
    std::size_t run_ = 0;
};

} // namespace logread
