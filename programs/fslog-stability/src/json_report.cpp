#include "stability_tool/analysed.hpp"

#include <nlohmann/json.hpp>

namespace stability_tool {

namespace {

nlohmann::json rows_of(const kind_rows& result)
{
    nlohmann::json rows = nlohmann::json::array();
    for (const stability::row& row : result.rows) {
        rows.push_back({{"af", row.af},
                        {"tau", row.tau},
                        {"n", row.n},
                        {"alpha", row.alpha},
                        {"edf", row.edf},
                        {"sigma", row.sigma},
                        {"sigma_min", row.sigma_min},
                        {"sigma_max", row.sigma_max}});
    }
    return rows;
}

} // namespace

std::string json_report(const analysed& done)
{
    const even_series& series = *done.series;
    nlohmann::json kinds = nlohmann::json::object();
    for (const kind_rows& result : done.results) {
        kinds[std::string(stability::name_of(result.kind).name)] = rows_of(result);
    }
    const nlohmann::json report{
        {"source", done.source},
        {"scale", done.scale},
        {"data", series.data.kind == stability::data_kind::phase ? "phase" : "frequency"},
        {"tau0", series.data.tau0},
        {"points", series.data.values.size()},
        {"gaps", gaps_in(series.data)},
        {"left_out", series.left_out},
        {"segments", pieces_of(series.data).size()},
        {"start_utc", series.start_time ? nlohmann::json(utc_text(*series.start_time)) : nlohmann::json()},
        {"drift_removed", drift_text(done.drift)},
        {"confidence", done.confidence},
        {"kinds", kinds}};
    return report.dump(2) + "\n";
}

} // namespace stability_tool
