// The report as one JSON object: see report_output.hpp.
#include "report/report_output.hpp"
#include "report/time_text.hpp"

namespace report {

namespace {

using json = nlohmann::ordered_json;

json time_json(const row_time& at)
{
    return at.time ? json(local_time(*at.time, true)) : json(nullptr);
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

json summary_json(const summary& part)
{
    json object;
    object["start"] = time_json(part.first);
    object["end"] = time_json(part.last);
    object["start_elapsed_s"] = part.first.elapsed;
    object["end_elapsed_s"] = part.last.elapsed;
    object["rows"] = part.rows;
    object["complete_rows"] = part.complete_rows;
    object["failures"] = counts_json(logread::all_queries, part.failures);
    object["cs_bad"] = counts_json(logread::checked_queries, part.cs_bad);
    object["longest_without_complete_row"] = {{"seconds", part.longest_gap.seconds},
                                              {"began", time_json(part.longest_gap.began)},
                                              {"began_elapsed_s", part.longest_gap.began.elapsed}};
    json channels;
    for (std::size_t channel = 0; channel < logread::channel_names.size(); ++channel) {
        channels[std::string(logread::channel_names[channel])] = stats_json(part.series[channel]);
    }
    object["channels"] = channels;
    const json rate = stats_json(part.series[logread::dds2_rate]);
    object["dds2_rate"] = {{"mean", rate["mean"]}, {"sd", rate["sd"]}};
    const json tuning = stats_json(part.series[logread::user_tuning]);
    object["user_tuning"] = {{"min", tuning["min"]}, {"max", tuning["max"]}};
    return object;
}

} // namespace

nlohmann::ordered_json report_json(const log_summary& log)
{
    json object = summary_json(log.total());
    object["failed_starts"] = log.total().failed_starts;
    object["failed_starts_after_last_run"] = log.failed_starts_after_last_run();
    json runs = json::array();
    for (const summary& run : log.runs()) {
        json entry = {{"run", run.run},
                      {"started", run.run == 0 ? json(nullptr) : json(run.started)},
                      {"failed_starts_before", run.failed_starts}};
        entry.update(summary_json(run));
        runs.push_back(entry);
    }
    object["runs"] = runs;
    return object;
}

} // namespace report
