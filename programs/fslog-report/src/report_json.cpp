// The report as one JSON object: see report_output.hpp.
#include "report/report_output.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

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

// The count of each fault of the kind, under its query's name.
json counts_json(const std::array<std::uint64_t, logread::fault_count>& counts, logread::fault_kind kind)
{
    json object;
    for (std::size_t index = 0; index < counts.size(); ++index) {
        const auto which = static_cast<logread::fault>(index);
        if (logread::kind_of(which) == kind) {
            object[std::string(logread::name_of(logread::query_of(which)))] = counts[index];
        }
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
    object["time"] = {{"span_s", part.span_s},
                      {"between_runs_s", part.between_runs_s},
                      {"covered_s", part.covered_s},
                      {"paused_s", part.paused_s}};
    object["failures"] = counts_json(part.faults, logread::fault_kind::failed);
    object["cs_bad"] = counts_json(part.faults, logread::fault_kind::cs_bad);
    object["longest_without_complete_row"] = {{"seconds", part.longest_gap.seconds},
                                              {"began", time_json(part.longest_gap.began, zone)},
                                              {"began_elapsed_s", part.longest_gap.began.elapsed}};
    json channels;
    for (std::size_t channel = 0; channel < logread::channel_names.size(); ++channel) {
        channels[std::string(logread::channel_names[channel])] = stats_json(part.series[channel]);
    }
    object["channels"] = channels;
    const std::optional<double> fitted = part.dds2_fit.rate();
    const std::optional<double> rate = fitted ? fitted : part.dds2.rate();
    const json windows = stats_json(part.series[logread::dds2_rate]);
    const auto or_null = [](std::optional<double> value) { return value ? json(*value) : json(nullptr); };
    object["dds2_rate"] = {{"mean", or_null(rate)},
                           {"uncertainty", or_null(part.dds2_fit.error())},
                           {"adev_10s", or_null(part.dds2_fit.adev())},
                           {"sd", windows["sd"]},
                           {"jumps", part.dds2_jumps}};
    const json tuning = stats_json(part.series[logread::user_tuning]);
    object["user_tuning"] = {{"min", tuning["min"]}, {"max", tuning["max"]}};
    return object;
}

// `value` as dump(2) writes it, its lines after the first indented `depth`
// spaces more, to stand that deep in the report. dump escapes the line ends
// within strings, so each one in its text ends a line of it.
std::string nested(const json& value, std::size_t depth)
{
    const std::string text = value.dump(2, ' ', false, json::error_handler_t::replace);
    std::string indented;
    for (const char c : text) {
        indented += c;
        if (c == '\n') {
            indented.append(depth, ' ');
        }
    }
    return indented;
}

// The object as dump(2) would write it whole, with "runs" first: written
// run by run, as each ends.
class json_form : public report_form {
public:
    explicit json_form(logread::time_zone zone) : zone_(zone) {}

    std::string run_block(const summary& run) override
    {
        json entry = {{"run", run.run},
                      {"started", run.run == 0 ? json(nullptr) : json(run.started)},
                      {"failed_starts_before", run.failed_starts}};
        entry.update(summary_json(run, zone_));
        return (runs_++ == 0 ? "{\n  \"runs\": [\n    " : ",\n    ") + nested(entry, 4);
    }

    std::string ending(const log_summary& log) override
    {
        json all = summary_json(log.total(), zone_);
        all["failed_starts"] = log.total().failed_starts;
        all["failed_starts_after_last_run"] = log.failed_starts_after_last_run();
        std::string text = runs_ == 0 ? "{\n  \"runs\": []" : "\n  ]";
        for (const auto& [key, value] : all.items()) {
            text += ",\n  " + json(key).dump() + ": " + nested(value, 2);
        }
        return text + "\n}\n";
    }

private:
    logread::time_zone zone_;
    std::size_t runs_ = 0;
};

} // namespace

std::unique_ptr<report_form> json_report(logread::time_zone zone)
{
    return std::make_unique<json_form>(zone);
}

} // namespace report
