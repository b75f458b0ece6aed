#include "plot/gnuplot_script.hpp"

#include "logread/local_time.hpp"

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

struct series_panel {
    series which;
    std::string_view ylabel;
    std::string_view empty_note;
    std::string_view line_colour;
    std::string_view band_colour;
};

constexpr std::array<series_panel, series_count> value_panels{{
    {rail, "rail? (ADC counts)", "no rail? readings", "#1f4e9c", "#b9cbea"},
    {trimpot, "trimpot (ADC counts)", "no trimpot readings", "#1f4e9c", "#b9cbea"},
    {temperature, "temperature (ADC counts)", "no temperature readings", "#a8321e", "#efc2b8"},
    {vcxo, "vcxo (ADC counts)", "no vcxo readings", "#a8321e", "#efc2b8"},
    {dds_rate, "DDS 2 rate (counts/s)", "no DDS 2 rate: it needs two DDS readings in one run", "#2d7a2d",
     "#bfe0bf"},
    {user_tuning, "user tuning", "no user tuning readings", "#6a3d9a", "#d8c8ea"},
}};

struct fault_row {
    fault which;
    std::string_view name;
};

constexpr std::array<fault_row, fault_count> fault_rows{{
    {adc_failed, "ADC failed"},
    {dds_failed, "DDS failed"},
    {dds_cs_bad, "DDS (CS bad!)"},
    {tuning_failed, "tuning failed"},
    {tuning_cs_bad, "tuning (CS bad!)"},
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

// gnuplot shows times as UTC: a local time is given to it as the UTC time
// with the same clock reading.
double shown_x(double x, time_axis axis)
{
    if (axis == time_axis::elapsed) {
        return x;
    }
    const auto whole = static_cast<std::time_t>(std::floor(x));
    std::tm fields{};
    localtime_r(&whole, &fields);
    return x + static_cast<double>(fields.tm_gmtoff);
}

double bin_middle(const binned& bins, std::size_t i)
{
    return bins.first + (static_cast<double>(i) + 0.5) * bins.width;
}

std::string local_text(double x, const char* format)
{
    return logread::local_time_text(static_cast<std::time_t>(std::floor(x)), format);
}

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
        auto has = [&](std::size_t i) { return i < all.size() && all[i].series[which].count > 0; };
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (!has(i)) {
                continue;
            }
            const stats& values = all[i].series[which];
            const std::string row = number(shown_x(bin_middle(bins_, i), drawing_.axis)) + " " +
                                    number(values.min) + " " + number(values.max) + " " +
                                    number(values.mean()) + "\n";
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
                    marks += number(shown_x(bin_middle(bins_, i), drawing_.axis)) + " " +
                             std::to_string(row) + "\n";
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

    void frame()
    {
        const double from = shown_x(bins_.first, drawing_.axis);
        const double to =
            shown_x(bins_.first + bins_.width * static_cast<double>(bins_.bins.size()), drawing_.axis);
        line("set multiplot title " +
             quoted(drawing_.title + "\nbands: the lowest to the highest reading in each pixel column; "
                                     "lines: their mean; a gap: no reading there"));
        line("set lmargin at screen " + number(left_edge));
        line("set rmargin at screen " + number(right_edge));
        line("set xrange [" + number(from) + ":" + number(to) + "]");
        line("set grid");
        line("set style textbox opaque noborder");
        line("unset key");
        line("set ytics nomirror");
        line("set format y '%.10g'");
        x_axis(from, to);
        line("set format x ''");
    }

    // Tick labels that suit the span: seconds over a few minutes, hours over
    // a day, dates over a week.
    void x_axis(double from, double to)
    {
        if (drawing_.axis == time_axis::elapsed) {
            x_label_ = drawing_.elapsed_for_want_of_start
                           ? "seconds since the run's start (no start line before the first row: the "
                             "time of day is unknown)"
                           : "seconds since the run's start";
            x_format_ = "set format x '%.10g'";
            return;
        }
        const double span = to - from;
        constexpr double minutes = 60;
        constexpr double hours = 3600;
        const char* format = span <= 5 * minutes  ? "%H:%M:%S"
                             : span <= 20 * hours ? "%H:%M"
                             : span <= 96 * hours ? "%a %H:%M"
                                                  : "%a %d %b";
        x_format_ = std::string("set format x ") + quoted(format) + " timedate";
        line("set xtics time");
        const double first = bins_.first;
        const double last = first + bins_.width * static_cast<double>(bins_.bins.size());
        x_label_ = "local time of the logging machine, " + local_text(first, "%Y-%m-%d %H:%M:%S") + " to " +
                   local_text(last, "%Y-%m-%d %H:%M:%S %Z");
    }

    void margins(double top, double bottom)
    {
        line("set tmargin at screen " + number(top));
        line("set bmargin at screen " + number(bottom));
    }

    // The y range from the readings, so that a flat series still has one.
    void y_range(const stats& range)
    {
        const double pad = range.max > range.min ? (range.max - range.min) * 0.06 : 1.0;
        line("set yrange [" + number(range.min - pad) + ":" + number(range.max + pad) + "]");
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
        line("set ylabel " + quoted(panel.ylabel));
        if (panel.which == dds_rate) {
            line("set label 2 'delta dds2 / elapsed seconds between the rows of its two readings' at graph "
                 "0.01, 0.9 left front "
                 "boxed");
        }
        const std::string id = std::to_string(panel.which);
        if (!has_runs_[panel.which] && !has_alone_[panel.which]) {
            empty_note(panel.empty_note);
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
        line(x_format_);
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
    std::array<stats, series_count> y_range_{};
    std::array<bool, series_count> has_runs_{};
    std::array<bool, series_count> has_alone_{};
    bool has_faults_ = false;
    std::string x_label_;
    std::string x_format_;
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
