// fslog-plot's data blocks: see data_blocks.hpp.
#include "plot/data_blocks.hpp"

#include "plot/panels.hpp"

#include <algorithm>

namespace plot {

namespace {

// The fault strip draws a column's share of rows with a fault as a bar of
// up to this much of its row, and a share too small to see as this little.
constexpr double fault_bar_height = 0.8;
constexpr double least_fault_bar = 0.06;

std::string block(std::string_view name, const std::string& rows)
{
    return std::string(name) + " << EOD\n" + rows + "EOD\n";
}

// Two blocks a series: the runs of neighbouring bins with readings, a
// blank line at each gap (gnuplot then breaks the band and the line),
// and the bins without a neighbour, which draw as a point with a bar.
void add_series(data_blocks& into, const binned& bins, const x_place& x, logread::series which)
{
    std::string runs;
    std::string alone;
    const std::vector<bin>& all = bins.bins;
    auto has = [&](std::size_t i) { return i < all.size() && column_of(all[i], which); };
    series_blocks& made = into.series[which];
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::optional<column> shown = column_of(all[i], which);
        if (!shown) {
            continue;
        }
        const std::string row = x(bins.middle(i)) + " " + gnuplot::number(shown->low) + " " +
                                gnuplot::number(shown->high) + " " + gnuplot::number(shown->line) + "\n";
        made.range.add(shown->low);
        made.range.add(shown->high);
        const bool before = i > 0 && has(i - 1);
        if (!before && !has(i + 1)) {
            alone += row;
            continue;
        }
        if (!before && !runs.empty()) {
            runs += "\n";
        }
        runs += row;
    }
    into.text += block(runs_block(which), runs) + block(alone_block(which), alone);
    made.runs = !runs.empty();
    made.alone = !alone.empty();
}

// A bar for each fault in each column, on the fault's row and as high
// as the share of the column's rows that had it: x, the row, the bar's
// half width and half height.
void add_faults(data_blocks& into, const binned& bins, const x_place& x)
{
    std::string bars;
    for (std::size_t i = 0; i < bins.bins.size(); ++i) {
        const bin& at = bins.bins[i];
        for (std::size_t row = 0; row < fault_rows.size(); ++row) {
            const std::uint32_t count = at.faults[fault_rows[row]];
            if (count == 0) {
                continue;
            }
            const double share = static_cast<double>(count) / static_cast<double>(at.rows);
            const double half = fault_bar_height * std::max(share, least_fault_bar) / 2;
            bars += x(bins.middle(i)) + " " + std::to_string(row) + " " + gnuplot::number(bins.width / 2) +
                    " " + gnuplot::number(half) + "\n";
        }
    }
    into.text += block(faults_block, bars);
    into.faults = !bars.empty();
}

// A full bar on the strip's pause row for each column in which fslog had
// paused: no query failed, and its rows stopped for longer than a reset.
void add_pauses(data_blocks& into, const binned& bins, const x_place& x)
{
    std::string bars;
    for (std::size_t i = 0; i < bins.bins.size(); ++i) {
        bars += bins.bins[i].pauses > 0
                    ? x(bins.middle(i)) + " " + std::to_string(fault_rows.size()) + " " +
                          gnuplot::number(bins.width / 2) + " " + gnuplot::number(fault_bar_height / 2) + "\n"
                    : "";
    }
    into.text += block(pauses_block, bars);
    into.pauses = !bars.empty();
}

void add_jumps(data_blocks& into, const binned& bins, const x_place& x)
{
    std::string jumps;
    for (std::size_t i = 0; i < bins.bins.size(); ++i) {
        jumps += bins.bins[i].dds2_jumps > 0 ? x(bins.middle(i)) + "\n" : "";
    }
    into.text += block(jumps_block, jumps);
    into.jumps = !jumps.empty();
}

} // namespace

std::string runs_block(logread::series which)
{
    return "$s" + std::to_string(which);
}

std::string alone_block(logread::series which)
{
    return "$a" + std::to_string(which);
}

data_blocks data_blocks_of(const binned& bins, const x_place& x)
{
    data_blocks made;
    for (const series_panel& panel : value_panels) {
        add_series(made, bins, x, panel.which);
    }
    add_faults(made, bins, x);
    add_pauses(made, bins, x);
    add_jumps(made, bins, x);
    return made;
}

} // namespace plot
