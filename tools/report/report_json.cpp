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

json stats_json(const running_stats& values)
{
    if (values.empty()) {
        return {{"min", nullptr}, {"mean", nullptr}, {"max", nullptr}, {"sd", nullptr}};
    }
    return {{"min", values.min()}, {"mean", values.mean()}, {"max", values.max()}, {"sd", values.sd()}};
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
    object["failures"] = {{"adc", part.failures[0]}, {"dds", part.failures[1]}, {"tuning", part.failures[2]}};
    object["cs_bad"] = {{"dds", part.cs_bad[0]}, {"tuning", part.cs_bad[1]}};
    object["longest_without_complete_row"] = {{"seconds", part.longest_gap.seconds},
                                              {"began", time_json(part.longest_gap.began)},
                                              {"began_elapsed_s", part.longest_gap.began.elapsed}};
    json channels;
    for (std::size_t channel = 0; channel < part.channels.size(); ++channel) {
        channels[channel_names[channel]] = stats_json(part.channels[channel]);
    }
    object["channels"] = channels;
    const json rate = stats_json(part.dds2_rate);
    object["dds2_rate"] = {{"mean", rate["mean"]}, {"sd", rate["sd"]}};
    const json tuning = stats_json(part.tuning);
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
