// Minimum, mean, maximum and standard deviation of a stream of values, in
// constant memory.
#pragma once

#include <cstdint>
#include <limits>

namespace report {

class running_stats {
public:
    void add(double value);
    // Takes in another stream's values, as if they had been added here.
    void merge(const running_stats& other);

    std::uint64_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Meaningful only when not empty.
    double min() const { return min_; }
    double max() const { return max_; }
    double mean() const { return mean_; }
    // The population standard deviation: 0 for a single value.
    double sd() const;

private:
    // Welford's sums: the mean so far and the squared deviations from it,
    // which stay exact enough over a week of readings where a plain sum of
    // squares would not.
    std::uint64_t count_ = 0;
    double mean_ = 0;
    double squares_ = 0;
    double min_ = std::numeric_limits<double>::infinity();
    double max_ = -std::numeric_limits<double>::infinity();
};

} // namespace report
