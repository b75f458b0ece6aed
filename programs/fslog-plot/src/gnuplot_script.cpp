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
// The title's three lines take this many pixels above the panels.
constexpr double title_pixels = 52;
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

// What a column shows of a series: the band from `low` to `high`, and the line.
struct column {
    double low = 0;
    double high = 0;
    double line = 0;
};

// The readings' lowest, highest and mean; for the DDS 2 rate, the column's
// rate (its spans' counts over their seconds) as the line, within a band
// from the lowest to the highest of the 10 s windows that closed in it.
std::optional<column> column_of(const bin& at, series which)
{
    const logread::running_stats& values = at.series[which];
    if (which != logread::dds2_rate) {
        return values.empty() ? std::nullopt
                              : std::optional(column{values.min(), values.max(), values.mean()});
    }
    const std::optional<double> rate = at.dds2.rate();
    if (!rate) {
        return std::nullopt;
    }
    return values.empty() ? column{*rate, *rate, *rate}
                          : column{std::min(values.min(), *rate), std::max(values.max(), *rate), *rate};
}

// Whole counts: the ADC channels and the tuning word.
bool counts_whole(series which)
{
    return which != logread::dds2_rate;
}

// The fault strip draws a column's share of rows with a fault as a bar of
// up to this much of its row, and a share too small to see as this little.
constexpr double fault_bar_height = 0.8;
constexpr double least_fault_bar = 0.06;

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
        auto has = [&](std::size_t i) { return i < all.size() && column_of(all[i], which); };
        for (std::size_t i = 0; i < all.size(); ++i) {
            const std::optional<column> shown = column_of(all[i], which);
            if (!shown) {
                continue;
            }
            const std::string row = number(axis_x(bin_middle(bins_, i))) + " " + number(shown->low) + " " +
                                    number(shown->high) + " " + number(shown->line) + "\n";
            y_range_[which].add(shown->low);
            y_range_[which].add(shown->high);
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

    // A bar for each fault in each column, on the fault's row and as high
    // as the share of the column's rows that had it: x, the row, the bar's
    // half width and half height.
    void fault_block()
    {
        std::string bars;
        for (std::size_t i = 0; i < bins_.bins.size(); ++i) {
            const bin& at = bins_.bins[i];
            for (std::size_t row = 0; row < fault_rows.size(); ++row) {
                const std::uint32_t count = at.faults[fault_rows[row].which];
                if (count == 0) {
                    continue;
                }
                const double share = static_cast<double>(count) / static_cast<double>(at.rows);
                const double half = fault_bar_height * std::max(share, least_fault_bar) / 2;
                bars += number(axis_x(bin_middle(bins_, i))) + " " + std::to_string(row) + " " +
                        number(bins_.width / 2) + " " + number(half) + "\n";
            }
        }
        block("faults", bars);
        has_faults_ = !bars.empty();
        std::string jumps;
        for (std::size_t i = 0; i < bins_.bins.size(); ++i) {
            jumps += bins_.bins[i].dds2_jumps > 0 ? number(axis_x(bin_middle(bins_, i))) + "\n" : "";
        }
        block("jumps", jumps);
        has_jumps_ = !jumps.empty();
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
                                     "lines: their mean; a gap: no reading there\n"
                                     "grey: fslog not running, between runs; dashed: a restart; "
                                     "fault strip: the share of each column's rows with the fault"));
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
        runs_apart();
    }

    // Each restart as a dashed line, and the time between two runs shaded,
    // across every panel: apart from the gaps that failed queries leave.
    void runs_apart()
    {
        const std::vector<run_extent>& runs = bins_.runs;
        for (std::size_t i = 1; i < runs.size(); ++i) {
            const std::string number_of = std::to_string(i);
            const std::string ended = number(axis_x(runs[i - 1].last));
            const std::string began = number(axis_x(runs[i].first));
            if (runs[i].first > runs[i - 1].last) {
                std::string shade = "set object ";
                shade.append(number_of)
                    .append(" rect from first ")
                    .append(ended)
                    .append(", graph 0 to first ");
                line(shade.append(began).append(
                    ", graph 1 behind fillcolor rgb '#e4e4e4' fillstyle solid noborder"));
            }
            std::string mark = "set arrow ";
            mark.append(number_of)
                .append(" from first ")
                .append(began)
                .append(", graph 0 to first ")
                .append(began);
            line(mark.append(", graph 1 nohead dashtype 2 linecolor rgb '#555555' front"));
        }
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
            const char* separator = unlabelled.empty() ? "" : ", ";
            unlabelled.append(separator).append("'' ").append(at);
            labelled.append(separator).append(quoted(each.label)).append(" ").append(at);
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
    // Returns a height just below its top, for marks above the readings.
    double y_range(const logread::running_stats& range)
    {
        const double pad = range.max() > range.min() ? (range.max() - range.min()) * 0.06 : 1.0;
        line("set yrange [" + number(range.min() - pad) + ":" + number(range.max() + pad) + "]");
        return range.max() + pad / 2;
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
            line("set label 2 'the deltas over the time between their readings, in each column; band: its "
                 "10 s windows; triangles: counter jumps, left out' at graph 0.01, 0.1 left front boxed");
        }
        const std::string id = std::to_string(panel.which);
        if (!has_runs_[panel.which] && !has_alone_[panel.which]) {
            empty_note(text.empty_note);
        } else {
            const double marks_at = y_range(y_range_[panel.which]);
            const logread::running_stats& range = y_range_[panel.which];
            const bool whole_ticks = counts_whole(panel.which) && range.max() - range.min() < 10;
            if (whole_ticks) {
                line("set ytics 1");
            }
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
            if (panel.which == logread::dds2_rate && has_jumps_) {
                parts.push_back("$jumps using 1:(" + number(marks_at) +
                                ") with points pt 11 ps 1.2 lc rgb '#c0392b'");
            }
            std::string command = "plot ";
            for (const std::string& part : parts) {
                command += (&part == &parts.front() ? "" : ", ") + part;
            }
            line(command);
            if (whole_ticks) {
                line("set ytics autofreq");
            }
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
            line("plot $faults using 1:2:3:4 with boxxyerror fillstyle solid noborder lc rgb '#c0392b'");
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
    bool has_jumps_ = false;
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
