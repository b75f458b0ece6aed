#include "plot/gnuplot_script.hpp"

#include "gnuplot/text.hpp"
#include "plot/data_blocks.hpp"
#include "plot/panels.hpp"
#include "plot/run_marks.hpp"
#include "plot/time_ticks.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

namespace plot {

namespace {

// gnuplot's plot command drawing each of `parts` in turn.
std::string plot_command(const std::vector<std::string>& parts)
{
    std::string command = "plot ";
    for (const std::string& part : parts) {
        command += (&part == &parts.front() ? "" : ", ") + part;
    }
    return command;
}

constexpr double left_edge = 0.115;
constexpr double right_edge = 0.97;
// The title's three lines take this many pixels above the panels.
constexpr double title_pixels = 52;
constexpr double bottom_edge = 0.06;
constexpr double panel_gap = 0.012;
constexpr double fault_strip_share = 0.8; // of a value panel's height

class script_writer {
public:
    explicit script_writer(const figure& drawing)
        : drawing_(drawing),
          bins_(drawing.bins), x_{drawing.axis == time_axis::elapsed ? 0 : drawing.bins.first},
          data_(data_blocks_of(bins_, x_)),
          x_axis_(drawing.axis == time_axis::elapsed
                      ? elapsed_axis_text(drawing.elapsed_for_want_of_start)
                      : time_axis_text(bins_.first, last(), drawing.zone,
                                       static_cast<double>(drawing.width) * (right_edge - left_edge)))
    {
    }

    std::string write()
    {
        terminal();
        out_ += data_.text;
        frame();
        const double unit =
            (top_edge() - bottom_edge) / (static_cast<double>(value_panels.size()) + fault_strip_share);
        double top = top_edge();
        for (const series_panel& panel : value_panels) {
            value_panel(panel, top, top - unit + panel_gap);
            top -= unit;
        }
        fault_panel(top, bottom_edge);
        out_ += "unset multiplot\n";
        return out_;
    }

private:
    void line(const std::string& text) { out_ += text + "\n"; }

    double top_edge() const { return 1 - title_pixels / static_cast<double>(std::max(drawing_.height, 1U)); }

    // The end of the last bin.
    double last() const { return bins_.first + bins_.width * static_cast<double>(bins_.bins.size()); }

    void terminal()
    {
        const std::string size = std::to_string(drawing_.width) + "," + std::to_string(drawing_.height);
        line(drawing_.format == image_format::png
                 ? "set terminal pngcairo noenhanced size " + size + " font ',9'"
                 : "set terminal svg noenhanced size " + size + " font ',9'");
        line("set output " + gnuplot::quoted(drawing_.output));
    }

    void frame()
    {
        line("set multiplot title " +
             gnuplot::quoted(drawing_.title +
                             "\nbands: the lowest to the highest reading in each pixel column; "
                             "lines: their mean; a gap: no reading there\n"
                             "grey: fslog not running, between runs; dashed: a restart; "
                             "fault strip: the share of each column's rows with the fault"));
        line("set lmargin at screen " + gnuplot::number(left_edge));
        line("set rmargin at screen " + gnuplot::number(right_edge));
        line("set xrange [" + x_(bins_.first) + ":" + x_(last()) + "]");
        line("set grid");
        line("set style textbox opaque noborder");
        line("unset key");
        line("set ytics nomirror");
        line("set format y '%.10g'");
        line(x_axis_.tics_unlabelled);
        out_ += run_marks(bins_.runs, x_);
    }

    void margins(double top, double bottom)
    {
        line("set tmargin at screen " + gnuplot::number(top));
        line("set bmargin at screen " + gnuplot::number(bottom));
    }

    // The y range from the readings, so that a flat series still has one:
    // also one whose values differ only past the digits the script writes
    // (rates of one count over times that differ in their last bit), where
    // gnuplot would get an empty range. Returns a height just below its
    // top, for marks above the readings.
    double y_range(const logread::running_stats& range)
    {
        constexpr double least_spread = 1e-9; // relative, far above the written digits' 1e-15
        const double spread = range.max() - range.min();
        const bool flat =
            spread <= least_spread * std::max({1.0, std::abs(range.max()), std::abs(range.min())});
        const double pad = flat ? 1.0 : spread * 0.06;
        line("set yrange [" + gnuplot::number(range.min() - pad) + ":" + gnuplot::number(range.max() + pad) +
             "]");
        return range.max() + pad / 2;
    }

    void empty_note(std::string_view note)
    {
        line("set yrange [0:1]");
        line("set ytics ('' 0)");
        line("set label 1 " + gnuplot::quoted(note) + " at graph 0.5, 0.5 center");
        line("plot NaN");
        line("unset label 1");
        line("set ytics autofreq");
    }

    void value_panel(const series_panel& panel, double top, double bottom)
    {
        margins(top, bottom);
        const panel_text text = text_of(panel.which);
        line("set ylabel " + gnuplot::quoted(text.ylabel));
        if (panel.which == logread::dds2_rate) {
            line("set label 2 'counts between least-delayed readings over their time, in each column; "
                 "band: its 10 s windows; triangles: counter jumps, left out' at graph 0.01, 0.1 left front "
                 "boxed");
        }
        const series_blocks& blocks = data_.series[panel.which];
        if (!blocks.runs && !blocks.alone) {
            empty_note(text.empty_note);
        } else {
            plot_series(panel, blocks);
        }
        line("unset label 2");
    }

    void plot_series(const series_panel& panel, const series_blocks& blocks)
    {
        const double marks_at = y_range(blocks.range);
        const bool whole_ticks = counts_whole(panel.which) && blocks.range.max() - blocks.range.min() < 10;
        if (whole_ticks) {
            line("set ytics 1");
        }
        std::vector<std::string> parts;
        if (blocks.runs) {
            parts.push_back(runs_block(panel.which) + " using 1:2:3 with filledcurves fc rgb '" +
                            std::string(panel.band_colour) + "'");
            parts.push_back(runs_block(panel.which) + " using 1:4 with lines lw 1.2 lc rgb '" +
                            std::string(panel.line_colour) + "'");
        }
        if (blocks.alone) {
            parts.push_back(alone_block(panel.which) + " using 1:4:2:3 with yerrorbars pt 7 ps 0.5 lc rgb '" +
                            std::string(panel.line_colour) + "'");
        }
        if (panel.which == logread::dds2_rate && data_.jumps) {
            parts.push_back(std::string(jumps_block) + " using 1:(" + gnuplot::number(marks_at) +
                            ") with points pt 11 ps 1.2 lc rgb '#c0392b'");
        }
        line(plot_command(parts));
        if (whole_ticks) {
            line("set ytics autofreq");
        }
    }

    void fault_panel(double top, double bottom)
    {
        margins(top, bottom);
        line("unset ylabel");
        line(x_axis_.tics_labelled);
        line("set xlabel " + gnuplot::quoted(x_axis_.label));
        std::string tics = "set ytics (";
        for (std::size_t row = 0; row < fault_rows.size(); ++row) {
            tics += gnuplot::quoted(label_of(fault_rows[row])) + " " + std::to_string(row) + ", ";
        }
        // A paused fslog (stopped, a suspended host) is no fault of the line.
        line(tics + "\"fslog paused\" " + std::to_string(fault_rows.size()) + ")");
        line("set yrange [" + gnuplot::number(static_cast<double>(fault_rows.size()) + 0.5) + ":-0.5]");
        line("set grid noytics");
        std::vector<std::string> parts;
        if (data_.faults) {
            parts.push_back(std::string(faults_block) +
                            " using 1:2:3:4 with boxxyerror fillstyle solid noborder lc rgb '#c0392b'");
        }
        if (data_.pauses) {
            parts.push_back(std::string(pauses_block) +
                            " using 1:2:3:4 with boxxyerror fillstyle solid noborder lc rgb '#7f8c8d'");
        }
        if (parts.empty()) {
            line("set label 1 'no failed queries, no (CS bad!) and no pause' at graph 0.5, 0.5 center");
            parts.emplace_back("NaN");
        }
        line(plot_command(parts));
    }

    const figure& drawing_;
    const binned& bins_;
    x_place x_;
    data_blocks data_;
    x_axis_text x_axis_;
    std::string out_;
};

} // namespace

std::size_t plot_columns(unsigned width)
{
    return static_cast<std::size_t>(static_cast<double>(width) * (right_edge - left_edge));
}

std::string gnuplot_script(const figure& drawing)
{
    return script_writer(drawing).write();
}

} // namespace plot
