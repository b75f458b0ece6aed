#include "stability_tool/analysed.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace stability_tool {

namespace {

template <typename... Values> std::string formatted(const char* format, Values... values)
{
    std::array<char, 256> text{};
    std::snprintf(text.data(), text.size(), format, values...);
    return text.data();
}

std::string header(const analysed& done)
{
    const even_series& series = *done.series;
    const stability::series& data = series.data;
    std::string text = "# fslog-stability: " + done.source + "\n# scale: " + done.scale + "\n";
    text += formatted("# data: %s, tau0 %g s, %zu points, %zu gaps, %zu readings left out, %zu segments\n",
                      data.kind == stability::data_kind::phase ? "phase" : "frequency", data.tau0,
                      data.values.size(), gaps_in(data), series.left_out, pieces_of(data).size());
    if (series.start_time) {
        text += "# start: " + utc_text(*series.start_time) + "\n";
    }
    text += "# drift removed: " + drift_text(done.drift) +
            formatted("; bounds at %.1f %% confidence\n", 100 * done.confidence);
    return text;
}

std::string table(const kind_rows& result)
{
    std::string text = "\n" + std::string(stability::name_of(result.kind).title) + " deviation (" +
                       std::string(stability::name_of(result.kind).name) + ")\n";
    text += formatted("%10s %12s %10s %6s %12s %12s %12s\n", "AF", "Tau", "#", "Alpha", "Min Sigma", "Sigma",
                      "Max Sigma");
    for (const stability::row& row : result.rows) {
        text += formatted("%10zu %12.4e %10zu %6d %12.4e %12.4e %12.4e\n", row.af, row.tau, row.n, row.alpha,
                          row.sigma_min, row.sigma, row.sigma_max);
    }
    return text;
}

} // namespace

std::string drift_text(stability::drift_removal drift)
{
    switch (drift) {
    case stability::drift_removal::frequency_line: return "a line in frequency";
    case stability::drift_removal::phase_quadratic: return "a quadratic in phase";
    case stability::drift_removal::none: break;
    }
    return "none";
}

std::string utc_text(double seconds)
{
    const double whole = std::floor(seconds);
    const auto time = static_cast<std::time_t>(whole);
    std::tm parts{};
    gmtime_r(&time, &parts);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &parts);
    return formatted("%s.%03dZ", text.data(), static_cast<int>(std::floor((seconds - whole) * 1000)));
}

std::string text_report(const analysed& done)
{
    std::string text = header(done);
    for (const kind_rows& result : done.results) {
        text += table(result);
    }
    return text;
}

} // namespace stability_tool
