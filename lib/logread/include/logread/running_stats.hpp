// logread: the minimum, mean, maximum and standard deviation of a stream of
// values, in constant memory. The one accumulator every log tool keeps its
// figures in: a report's runs, the live view's seconds, a plot's columns.
#pragma once

#include <cstdint>
#include <limits>

namespace logread {

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
    // The mean is the sum over the count: for whole numbers (the ADC counts,
    // the tuning word) it is exact, in whatever order values are added and
    // streams merged. The squared deviations from it are summed as Welford
    // does, which stays exact enough over a week of readings where a plain
    // sum of squares would not.
    std::uint64_t count_ = 0;
    double sum_ = 0;
    double mean_ = 0; // sum_ / count_
    double squares_ = 0;
    double min_ = std::numeric_limits<double>::infinity();
    double max_ = -std::numeric_limits<double>::infinity();
};

} // namespace logread
