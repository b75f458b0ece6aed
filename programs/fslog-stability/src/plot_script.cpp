#include "stability_tool/plot_script.hpp"

#include "gnuplot/text.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace stability_tool {

namespace {

// The slopes of the Allan family's deviations for each noise type.
struct slope_guide {
    double exponent;
    const char* noise;
};
constexpr std::array<slope_guide, 4> slope_guides{{
    {-1, "tau^-1: white or flicker PM"},
    {-0.5, "tau^-1/2: white FM"},
    {0, "tau^0: flicker FM"},
    {0.5, "tau^1/2: random-walk FM"},
}};

std::string data_block(const kind_rows& result)
{
    std::string block = "$" + std::string(stability::name_of(result.kind).name) + " << EOD\n";
    for (const stability::row& row : result.rows) {
        block += gnuplot::number(row.tau) + " " + gnuplot::number(row.sigma) + " " +
                 gnuplot::number(row.sigma_min) + " " + gnuplot::number(row.sigma_max) + "\n";
    }
    return block + "EOD\n";
}

// Guides through the first kind's first point, so that the curves can be
// read against them.
std::string guides(const analysed& done)
{
    const auto drawn =
        std::ranges::find_if(done.results, [](const kind_rows& each) { return !each.rows.empty(); });
    const stability::row& anchor = drawn->rows.front();
    std::string plots;
    for (const slope_guide& guide : slope_guides) {
        plots += ", " + gnuplot::number(anchor.sigma) + "*(x/" + gnuplot::number(anchor.tau) + ")**(" +
                 gnuplot::number(guide.exponent) + ") with lines dt 3 lc rgb 'gray60' title " +
                 gnuplot::quoted(guide.noise);
    }
    return plots;
}

// The axes hold the points and their bars, in whole decades of sigma, so
// that the slope guides, which run on for ever, can't squeeze the curves.
std::string ranges(const analysed& done)
{
    double tau_min = INFINITY, tau_max = 0, low = INFINITY, high = 0;
    for (const kind_rows& result : done.results) {
        for (const stability::row& row : result.rows) {
            tau_min = std::min(tau_min, row.tau);
            tau_max = std::max(tau_max, row.tau);
            low =
                std::min(low, std::isfinite(row.sigma_min) && row.sigma_min > 0 ? row.sigma_min : row.sigma);
            high = std::max(high, std::isfinite(row.sigma_max) ? row.sigma_max : row.sigma);
        }
    }
    const double bottom = std::pow(10.0, std::floor(std::log10(low)));
    const double top = std::pow(10.0, std::ceil(std::log10(high)));
    return "set xrange [" + gnuplot::number(tau_min / 2) + ":" + gnuplot::number(tau_max * 2) +
           "]\nset yrange [" + gnuplot::number(bottom) + ":" +
           gnuplot::number(top > bottom ? top : bottom * 10) + "]\n";
}

} // namespace

std::string plot_script(const analysed& done, picture_format format, const std::string& output)
{
    std::string script = format == picture_format::png ? "set terminal pngcairo noenhanced size 900,650\n"
                                                       : "set terminal svg noenhanced size 900,650\n";
    script += "set output " + gnuplot::quoted(output) + "\n";
    script +=
        "set title " + gnuplot::quoted("fslog-stability: " + done.source + "\nscale: " + done.scale) + "\n";
    script += "set logscale xy\nset grid xtics ytics mxtics mytics\nset key outside below\n"
              "set format x '%.0e'\nset format y '%.0e'\nset xlabel 'tau (s)'\nset ylabel 'sigma(tau)'\n";
    std::string plots;
    for (const kind_rows& result : done.results) {
        if (result.rows.empty()) {
            continue;
        }
        script += data_block(result);
        const stability::deviation_name& name = stability::name_of(result.kind);
        plots += std::string(plots.empty() ? "plot " : ", ") + "$" + std::string(name.name) +
                 " using 1:2:3:4 with yerrorlines pt 7 ps 0.6 title " +
                 gnuplot::quoted(std::string(name.title) + " (" + std::string(name.name) + ")");
    }
    if (plots.empty()) {
        return script + "set label 1 'no deviation has a term' at graph 0.5, 0.5 center\n"
                        "unset logscale\nplot [0:1] [0:1] NaN notitle\n";
    }
    return script + ranges(done) + plots + guides(done) + "\n";
}

} // namespace stability_tool
