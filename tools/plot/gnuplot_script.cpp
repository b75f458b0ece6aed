#include "plot/gnuplot_script.hpp"

#include "logread/local_time.hpp"
#include "plot/time_ticks.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace plot {

namespace {

constexpr double left_edge = 0.115;
constexpr double right_edge = 0.97;
constexpr double top_edge = 0.95;
constexpr double bottom_edge = 0.06;
constexpr double panel_gap = 0.012;
constexpr double fault_strip_share = 0.8; // of a value panel's height

using logread::series;

struct series_panel {
    series which;
    std::string_view line_colour;
    std::string_view band_colour;
};

constexpr std::array<series_panel, logread::series_count> value_panels{{
    {logread::rail, "#1f4e9c", "#b9cbea"},
    {logread::trimpot, "#1f4e9c", "#b9cbea"},
    {logread::temperature, "#a8321e", "#efc2b8"},
    {logread::vcxo, "#a8321e", "#efc2b8"},
    {logread::dds2_rate, "#2d7a2d", "#bfe0bf"},
    {logread::user_tuning, "#6a3d9a", "#d8c8ea"},
}};

// A panel's y label, and what it says when the series has no readings.
struct panel_text {
    std::string ylabel;
    std::string empty_note;
};

panel_text text_of(series which)
{
    if (which == logread::dds2_rate) {
        return {"DDS 2 rate (counts/s)", "no DDS 2 rate: it needs two DDS readings in one run"};
    }
    if (which == logread::user_tuning) {
        return {"user tuning", "no user tuning readings"};
    }
    // A channel as the log's header names it, which doubts the rail ("rail?").
    const std::string heading =
        std::string(logread::channel_names[which]) + (which == logread::rail ? "?" : "");
    return {heading + " (ADC counts)", "no " + heading + " readings"};
}

// The fault strip's rows, top to bottom.
struct fault_row {
    logread::fault which;
    std::string_view name;
};

constexpr std::array<fault_row, logread::fault_count> fault_rows{{
    {logread::adc_failed, "ADC failed"},
    {logread::dds_failed, "DDS failed"},
    {logread::dds_cs_bad, "DDS (CS bad!)"},
    {logread::tuning_failed, "tuning failed"},
    {logread::tuning_cs_bad, "tuning (CS bad!)"},
}};

// gnuplot's double-quoted string: backslash escapes, a newline as \n.
std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string number(double value)
{
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.15g", value);
    return text.data();
}

double bin_middle(const binned& bins, std::size_t i)
{
    return bins.first + (static_cast<double>(i) + 0.5) * bins.width;
}

// Room for one tick label on the time axis, in pixels ("Sun 02:00 CEST").
constexpr double tick_label_pixels = 110;

class script_writer {
public:
    explicit script_writer(const figure& drawing) : drawing_(drawing), bins_(drawing.bins) {}

    std::string write()
    {
        terminal();
        for (const series_panel& panel : value_panels) {
            data_blocks(panel.which);
        }
        fault_block();
        frame();
        const double unit =
            (top_edge - bottom_edge) / (static_cast<double>(value_panels.size()) + fault_strip_share);
        double top = top_edge;
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

    void terminal()
    {
        const std::string size = std::to_string(drawing_.width) + "," + std::to_string(drawing_.height);
        line(drawing_.format == image_format::png
                 ? "set terminal pngcairo noenhanced size " + size + " font ',9'"
                 : "set terminal svg noenhanced size " + size + " font ',9'");
        line("set output " + quoted(drawing_.output));
    }

    // Two blocks a series: the runs of neighbouring bins with readings, a
    // blank line at each gap (gnuplot then breaks the band and the line),
    // and the bins without a neighbour, which draw as a point with a bar.
    void data_blocks(series which)
    {
        std::string runs;
        std::string alone;
        const std::vector<bin>& all = bins_.bins;
        auto has = [&](std::size_t i) { return i < all.size() && !all[i].series[which].empty(); };
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (!has(i)) {
                continue;
            }
            const logread::running_stats& values = all[i].series[which];
            const std::string row = number(axis_x(bin_middle(bins_, i))) + " " + number(values.min()) + " " +
                                    number(values.max()) + " " + number(values.mean()) + "\n";
            y_range_[which].merge(values);
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
        block("s" + std::to_string(which), runs);
        block("a" + std::to_string(which), alone);
        has_runs_[which] = !runs.empty();
        has_alone_[which] = !alone.empty();
    }

    void fault_block()
    {
        std::string marks;
        for (std::size_t i = 0; i < bins_.bins.size(); ++i) {
            for (std::size_t row = 0; row < fault_rows.size(); ++row) {
                if (bins_.bins[i].faults[fault_rows[row].which] > 0) {
                    marks += number(axis_x(bin_middle(bins_, i))) + " " + std::to_string(row) + "\n";
                }
            }
        }
        block("faults", marks);
        has_faults_ = !marks.empty();
    }

    void block(const std::string& name, const std::string& rows)
    {
        out_ += "$" + name + " << EOD\n" + rows + "EOD\n";
    }

    // gnuplot gets seconds from the axis' start: on a time axis its own
    // time labels would be UTC, so the labels are given with the ticks.
    double axis_x(double x) const { return drawing_.axis == time_axis::elapsed ? x : x - bins_.first; }

    void frame()
    {
        const double first = bins_.first;
        const double last = first + bins_.width * static_cast<double>(bins_.bins.size());
        line("set multiplot title " +
             quoted(drawing_.title + "\nbands: the lowest to the highest reading in each pixel column; "
                                     "lines: their mean; a gap: no reading there"));
        line("set lmargin at screen " + number(left_edge));
        line("set rmargin at screen " + number(right_edge));
        line("set xrange [" + number(axis_x(first)) + ":" + number(axis_x(last)) + "]");
        line("set grid");
        line("set style textbox opaque noborder");
        line("unset key");
        line("set ytics nomirror");
        line("set format y '%.10g'");
        x_axis(first, last);
        line(x_tics_unlabelled_);
    }

    // The x axis' tick commands, unlabelled for the upper panels and
    // labelled for the lowest, and its label.
    void x_axis(double first, double last)
    {
        if (drawing_.axis == time_axis::elapsed) {
            x_label_ = drawing_.elapsed_for_want_of_start
                           ? "seconds since the run's start (no start line before the first row: the "
                             "time of day is unknown)"
                           : "seconds since the run's start";
            x_tics_unlabelled_ = "set format x ''";
            x_tics_labelled_ = "set format x '%.10g'";
            return;
        }
        const double pixels = static_cast<double>(drawing_.width) * (right_edge - left_edge);
        const auto most = static_cast<std::size_t>(std::max(2.0, pixels / tick_label_pixels));
        std::string unlabelled;
        std::string labelled;
        for (const tick& each : time_ticks(first, last, drawing_.zone, most)) {
            const std::string at = number(axis_x(each.at));
            unlabelled += (unlabelled.empty() ? "" : ", ") + std::string("'' ") + at;
            labelled += (labelled.empty() ? "" : ", ") + quoted(each.label) + " " + at;
        }
        x_tics_unlabelled_ = "set xtics (" + unlabelled + ")";
        x_tics_labelled_ = "set xtics (" + labelled + ")";
        const char* format = "%Y-%m-%d %H:%M:%S %Z";
        const auto text = [&](double x) {
            return logread::time_text(static_cast<std::time_t>(std::floor(x)), format, drawing_.zone);
        };
        x_label_ =
            (drawing_.zone == logread::time_zone::utc ? "UTC, " : "local time of the logging machine, ") +
            text(first) + " to " + text(last);
    }

    void margins(double top, double bottom)
    {
        line("set tmargin at screen " + number(top));
        line("set bmargin at screen " + number(bottom));
    }

    // The y range from the readings, so that a flat series still has one.
    void y_range(const logread::running_stats& range)
    {
        const double pad = range.max() > range.min() ? (range.max() - range.min()) * 0.06 : 1.0;
        line("set yrange [" + number(range.min() - pad) + ":" + number(range.max() + pad) + "]");
    }

    void empty_note(std::string_view note)
    {
        line("set yrange [0:1]");
        line("set ytics ('' 0)");
        line("set label 1 " + quoted(note) + " at graph 0.5, 0.5 center");
        line("plot NaN");
        line("unset label 1");
        line("set ytics autofreq");
    }

    void value_panel(const series_panel& panel, double top, double bottom)
    {
        margins(top, bottom);
        const panel_text text = text_of(panel.which);
        line("set ylabel " + quoted(text.ylabel));
        if (panel.which == logread::dds2_rate) {
            line("set label 2 'delta dds2 / elapsed seconds between the rows of its two readings' at graph "
                 "0.01, 0.9 left front "
                 "boxed");
        }
        const std::string id = std::to_string(panel.which);
        if (!has_runs_[panel.which] && !has_alone_[panel.which]) {
            empty_note(text.empty_note);
        } else {
            y_range(y_range_[panel.which]);
            std::vector<std::string> parts;
            if (has_runs_[panel.which]) {
                parts.push_back("$s" + id + " using 1:2:3 with filledcurves fc rgb '" +
                                std::string(panel.band_colour) + "'");
                parts.push_back("$s" + id + " using 1:4 with lines lw 1.2 lc rgb '" +
                                std::string(panel.line_colour) + "'");
            }
            if (has_alone_[panel.which]) {
                parts.push_back("$a" + id + " using 1:4:2:3 with yerrorbars pt 7 ps 0.5 lc rgb '" +
                                std::string(panel.line_colour) + "'");
            }
            std::string command = "plot ";
            for (const std::string& part : parts) {
                command += (&part == &parts.front() ? "" : ", ") + part;
            }
            line(command);
        }
        line("unset label 2");
    }

    void fault_panel(double top, double bottom)
    {
        margins(top, bottom);
        line("unset ylabel");
        line(x_tics_labelled_);
        line("set xlabel " + quoted(x_label_));
        std::string tics = "set ytics (";
        for (std::size_t row = 0; row < fault_rows.size(); ++row) {
            tics += (row == 0 ? "" : ", ") + quoted(fault_rows[row].name) + " " + std::to_string(row);
        }
        line(tics + ")");
        line("set yrange [" + number(static_cast<double>(fault_rows.size()) - 0.5) + ":-0.5]");
        line("set grid noytics");
        if (has_faults_) {
            line("plot $faults using 1:2 with points pt 5 ps 0.5 lc rgb '#c0392b'");
        } else {
            line("set label 1 'no failed queries and no (CS bad!)' at graph 0.5, 0.5 center");
            line("plot NaN");
        }
    }

    const figure& drawing_;
    const binned& bins_;
    std::string out_;
    std::array<logread::running_stats, logread::series_count> y_range_{};
    std::array<bool, logread::series_count> has_runs_{};
    std::array<bool, logread::series_count> has_alone_{};
    bool has_faults_ = false;
    std::string x_label_;
    std::string x_tics_unlabelled_;
    std::string x_tics_labelled_;
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
