// The Prometheus metrics of fslog's logs: one family per metric, shared by
// all logs, and each log's own series in them under its `log` label.
#pragma once

#include "logread/dds_rate.hpp"
#include "logread/line_reader.hpp"
#include "logread/row_facts.hpp"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <array>
#include <string>

namespace metrics {

struct metric_families {
    explicit metric_families(prometheus::Registry& registry);

    prometheus::Family<prometheus::Gauge>& adc;
    prometheus::Family<prometheus::Gauge>& dds;
    prometheus::Family<prometheus::Gauge>& dds2_rate;
    prometheus::Family<prometheus::Gauge>& user_tuning;
    prometheus::Family<prometheus::Counter>& rows;
    prometheus::Family<prometheus::Counter>& query_failures;
    prometheus::Family<prometheus::Counter>& cs_bad;
    prometheus::Family<prometheus::Counter>& port_open_failures;
    prometheus::Family<prometheus::Gauge>& last_complete_row;
    prometheus::Family<prometheus::Gauge>& log_info;
    prometheus::Family<prometheus::Gauge>& log_readable;
    prometheus::Family<prometheus::Counter>& skipped_lines;
};

// The `log` label of a log file: its name without directory or extension
// ("/var/log/fslog/ttyUSB0.log" is "ttyUSB0"), as valid UTF-8. The log's
// path in log_info is made valid the same way.
std::string log_label(const std::string& path);

// One log's series, kept up to date from its rows. The gauges appear with
// the first good value; until then the log has none to show. The counters
// count from 0 at the start. The last complete row's time starts as the
// time following began, so a unit that gives none from then on is seen. Safe to read from another thread
// (each value is atomic), so a scrape can come at any time.
class log_metrics : public logread::log_events {
public:
    log_metrics(metric_families& families, const std::string& path);

    void on_row(const logread::row_event& row) override;
    void on_skipped(const logread::skipped_line&) override;
    // Whether the log file could be opened at the last look.
    void set_readable(bool readable) { readable_.Set(readable ? 1 : 0); }
    void on_failed_start(const logread::failed_start& start) override;

private:
    // Sets a gauge, adding it to its family with its first value.
    void set(prometheus::Gauge*& series, prometheus::Family<prometheus::Gauge>& family,
             prometheus::Labels labels, double value);

    metric_families& families_;
    std::string label_;
    logread::dds_rate rate_;
    logread::recent_rate recent_rate_;
    prometheus::Counter& rows_;
    std::array<prometheus::Counter*, logread::fault_count> faults_{}; // in their kind's family
    prometheus::Counter& port_open_failures_;
    prometheus::Counter& skipped_;
    prometheus::Gauge& readable_;
    std::array<prometheus::Gauge*, logread::channel_names.size()> adc_{};
    std::array<prometheus::Gauge*, 2> dds_{};
    prometheus::Gauge* dds2_rate_ = nullptr;
    prometheus::Gauge* user_tuning_ = nullptr;
    prometheus::Gauge* last_complete_row_;
};

} // namespace metrics
