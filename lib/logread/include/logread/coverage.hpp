// logread: how much of a run's time fresh figures cover. A complete row
// (all three queries answered) keeps the unit's figures fresh for a second;
// a failed query costs some 6 s (its timeout and the line's reset) in
// which no complete row comes. So the share of complete rows says little
// about the time: 1.3 % of rows incomplete can leave half the time
// uncovered.
#pragma once

#include <optional>

namespace logread {

class time_coverage {
public:
    // How long a complete row keeps the figures fresh.
    static constexpr double fresh_seconds = 1;

    // A row at `time` (seconds on a clock that does not go back within
    // the run), complete or not.
    void add(double time, bool complete);

    bool empty() const { return !first_; }
    // From the first row's time to the last row's.
    double span() const;
    // The time within the span when the latest complete row is at most
    // fresh_seconds old.
    double covered() const;

private:
    std::optional<double> first_;
    double last_ = 0;
    double closed_ = 0;                // covered before the open stretch
    std::optional<double> open_start_; // the stretch covered by the latest complete rows
    double open_end_ = 0;
};

} // namespace logread
