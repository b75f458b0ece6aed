// The Prometheus metrics of fslog's logs: see log_metrics.hpp.
#include "metrics/log_metrics.hpp"

#include "metrics/label_text.hpp"

#include <chrono>
#include <filesystem>
#include <string_view>

namespace metrics {

namespace {

// Every metric's name starts with "fslog_".
std::string metric_name(std::string_view name)
{
    return "fslog_" + std::string(name);
}

prometheus::Family<prometheus::Gauge>& gauges(prometheus::Registry& registry, std::string_view name,
                                              const std::string& help)
{
    return prometheus::BuildGauge().Name(metric_name(name)).Help(help).Register(registry);
}

prometheus::Family<prometheus::Counter>& counters(prometheus::Registry& registry, std::string_view name,
                                                  const std::string& help)
{
    return prometheus::BuildCounter().Name(metric_name(name)).Help(help).Register(registry);
}

double seconds_now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

metric_families::metric_families(prometheus::Registry& registry)
    : adc(gauges(registry, "adc", "Latest reading of an ADC channel, in counts.")),
      dds(gauges(registry, "dds", "Latest value of a DDS word.")),
      dds2_rate(gauges(registry, "dds2_rate_counts_per_second",
                       "DDS 2 rate over the last 10 s, from the least-delayed reading of each second, in "
                       "counts per second.")),
      user_tuning(gauges(registry, "user_tuning", "Latest user tuning word.")),
      rows(counters(registry, "rows_total", "Rows in the log.")),
      query_failures(
          counters(registry, "query_failures_total",
                   "Rows in which a query printed no values (it failed, or its reply was too short).")),
      cs_bad(counters(registry, "cs_bad_total", "Replies logged with a bad payload check ((CS bad!)).")),
      port_open_failures(counters(registry, "port_open_failures_total",
                                  "Starts of fslog that could not open the port (Couldn't open port).")),
      last_complete_row(gauges(registry, "last_complete_row_timestamp_seconds",
                               "Time of the latest row with all three queries answered, in seconds since the "
                               "epoch.")),
      log_info(gauges(registry, "log_info", "The log file read under this log label (always 1).")),
      log_readable(
          gauges(registry, "log_readable",
                 "1 while the log file is open for reading, 0 while it is missing or can't be read.")),
      skipped_lines(counters(registry, "skipped_lines_total", "Lines in the log that are no rows."))
{
}

std::string log_label(const std::string& path)
{
    return valid_utf8(std::filesystem::path(path).stem().string());
}

log_metrics::log_metrics(metric_families& families, const std::string& path)
    : families_(families), label_(log_label(path)), rows_(families.rows.Add({{"log", label_}})),
      port_open_failures_(families.port_open_failures.Add({{"log", label_}})),
      skipped_(families.skipped_lines.Add({{"log", label_}})),
      readable_(families.log_readable.Add({{"log", label_}})),
      last_complete_row_(&families.last_complete_row.Add({{"log", label_}}))
{
    last_complete_row_->Set(seconds_now());
    for (std::size_t index = 0; index < faults_.size(); ++index) {
        const auto which = static_cast<logread::fault>(index);
        auto& family = logread::kind_of(which) == logread::fault_kind::failed ? families.query_failures
                                                                              : families.cs_bad;
        faults_[index] = &family.Add(
            {{"log", label_}, {"query", std::string(logread::name_of(logread::query_of(which)))}});
    }
    const auto absolute = valid_utf8(std::filesystem::absolute(path).lexically_normal().string());
    families.log_info.Add({{"log", label_}, {"path", absolute}}).Set(1);
}

void log_metrics::set(prometheus::Gauge*& series, prometheus::Family<prometheus::Gauge>& family,
                      prometheus::Labels labels, double value)
{
    if (series == nullptr) {
        labels.emplace("log", label_);
        series = &family.Add(labels);
    }
    series->Set(value);
}

void log_metrics::on_row(const logread::row_event& row)
{
    const logread::row_values& values = row.values;
    rows_.Increment();
    for (std::size_t channel = 0; values.adc && channel < adc_.size(); ++channel) {
        set(adc_[channel], families_.adc, {{"channel", std::string(logread::channel_names[channel])}},
            (*values.adc)[channel]);
    }
    if (values.dds) {
        set(dds_[0], families_.dds, {{"word", "1"}}, values.dds->dds1);
        set(dds_[1], families_.dds, {{"word", "2"}}, values.dds->dds2);
    }
    if (const logread::rate_reading rate = rate_.take(row); rate.settled) {
        recent_rate_.add(row.time.value_or(row.values.elapsed), *rate.settled);
        set(dds2_rate_, families_.dds2_rate, {}, *recent_rate_.rate());
    }
    if (values.tuning) {
        set(user_tuning_, families_.user_tuning, {}, *values.tuning);
    }
    const auto happened = logread::faults_of(values);
    for (std::size_t index = 0; index < happened.size(); ++index) {
        faults_[index]->Increment(happened[index] ? 1 : 0);
    }
    if (logread::complete(values)) {
        // A row without a known start time (a file rotated in the middle of
        // a run, read from its beginning) counts as read just now.
        set(last_complete_row_, families_.last_complete_row, {}, row.time.value_or(seconds_now()));
    }
}

void log_metrics::on_skipped(const logread::skipped_line&)
{
    skipped_.Increment();
}

void log_metrics::on_failed_start(const logread::failed_start& start)
{
    if (start.why == logread::start_failure::port) {
        port_open_failures_.Increment();
    }
}

} // namespace metrics
