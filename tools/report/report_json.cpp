// The report as one JSON object: see report_output.hpp.
#include "report/report_output.hpp"

namespace report {

namespace {

using json = nlohmann::ordered_json;

json time_json(const row_time& at, logread::time_zone zone)
{
    return at.time ? json(logread::iso_time(*at.time, zone)) : json(nullptr);
}

json stats_json(const logread::running_stats& values)
{
    if (values.empty()) {
        return {{"min", nullptr}, {"mean", nullptr}, {"max", nullptr}, {"sd", nullptr}};
    }
    return {{"min", values.min()}, {"mean", values.mean()}, {"max", values.max()}, {"sd", values.sd()}};
}

// A count for each of the queries, under the query's name.
template <std::size_t count>
json counts_json(const std::array<logread::query, count>& queries,
                 const std::array<std::uint64_t, count>& counts)
{
    json object;
    for (std::size_t index = 0; index < count; ++index) {
        object[std::string(logread::name_of(queries[index]))] = counts[index];
    }
    return object;
}

json summary_json(const summary& part, logread::time_zone zone)
{
    json object;
    object["start"] = time_json(part.first, zone);
    object["end"] = time_json(part.last, zone);
    object["start_elapsed_s"] = part.first.elapsed;
    object["end_elapsed_s"] = part.last.elapsed;
    object["rows"] = part.rows;
    object["complete_rows"] = part.complete_rows;
    object["time"] = {
        {"span_s", part.span_s}, {"between_runs_s", part.between_runs_s}, {"covered_s", part.covered_s}};
    object["failures"] = counts_json(logread::all_queries, part.failures);
    object["cs_bad"] = counts_json(logread::checked_queries, part.cs_bad);
    object["longest_without_complete_row"] = {{"seconds", part.longest_gap.seconds},
                                              {"began", time_json(part.longest_gap.began, zone)},
                                              {"began_elapsed_s", part.longest_gap.began.elapsed}};
    json channels;
    for (std::size_t channel = 0; channel < logread::channel_names.size(); ++channel) {
        channels[std::string(logread::channel_names[channel])] = stats_json(part.series[channel]);
    }
    object["channels"] = channels;
    const std::optional<double> rate = part.dds2.rate();
    const json windows = stats_json(part.series[logread::dds2_rate]);
    object["dds2_rate"] = {
        {"mean", rate ? json(*rate) : json(nullptr)}, {"sd", windows["sd"]}, {"jumps", part.dds2_jumps}};
    const json tuning = stats_json(part.series[logread::user_tuning]);
    object["user_tuning"] = {{"min", tuning["min"]}, {"max", tuning["max"]}};
    return object;
}

} // namespace

nlohmann::ordered_json report_json(const log_summary& log, logread::time_zone zone)
{
    json object = summary_json(log.total(), zone);
    object["failed_starts"] = log.total().failed_starts;
    object["failed_starts_after_last_run"] = log.failed_starts_after_last_run();
    json runs = json::array();
    for (const summary& run : log.runs()) {
        json entry = {{"run", run.run},
                      {"started", run.run == 0 ? json(nullptr) : json(run.started)},
                      {"failed_starts_before", run.failed_starts}};
        entry.update(summary_json(run, zone));
        runs.push_back(entry);
    }
    object["runs"] = runs;
    return object;
}

} // namespace report
