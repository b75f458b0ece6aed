// stability_tool: the tuning word, vcxo or temperature of a log's rows as
// fractional frequency, one value per bin of tau0 seconds.
//
// The unit updates these once a second. A bin that held readings from both
// sides of an update would average two values and pull the deviation at
// tau0 down (by up to a half for white FM at 1 s), so the bins' edges sit
// on the updates, as the tuning word's steps show them (update_phase.hpp);
// each bin's value is the mean of its readings, all of one update when tau0
// is 1 s. Only readings whose time is known count: not those of rows before
// any start line, nor a tuning word read after a failed ADC or DDS query
// in the same row (the line was reset for seconds in between), nor one
// whose reply failed its payload check. An empty bin is a gap; so is the
// time between runs.
#pragma once

#include "logread/line_reader.hpp"
#include "stability_tool/bin_timeline.hpp"
#include "stability_tool/row_series.hpp"
#include "stability_tool/update_phase.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace stability_tool {

class reading_bins : public logread::log_events {
public:
    // `which` is tuning, vcxo or temperature; each value is multiplied by `scale`.
    reading_bins(row_series which, double tau0, double scale, bool keep_readings);

    void on_run_start(const logread::run_start& start) override;
    void on_row(const logread::row_event& row) override;
    // The series, once every row was read.
    even_series finish();

private:
    struct timed_tuning {
        double time;
        std::int32_t value;
    };

    void note_tuning(double time, const logread::row_values& values);
    void take(double time, double value);
    void flush();

    row_series which_;
    double tau0_;
    double scale_;
    update_phase updates_;
    bin_timeline timeline_;
    std::optional<timed_tuning> last_tuning_;
    std::optional<std::int64_t> bin_; // the bin being filled
    double bin_start_ = 0;
    double sum_ = 0;
    std::size_t count_ = 0;
};

// The tuning word of a row, when it was read at the row's time and its
// reply passed its check.
std::optional<std::int32_t> timed_tuning_of(const logread::row_values& values);

} // namespace stability_tool
