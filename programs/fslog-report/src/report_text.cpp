// The report as text: see report_output.hpp.
#include "report/report_output.hpp"
#include "report/time_text.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace report {

namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void add_line(std::string& text, const char* format, ...)
{
    std::array<char, 256> line{};
    va_list values;
    va_start(values, format);
    std::vsnprintf(line.data(), line.size(), format, values);
    va_end(values);
    text += line.data();
    text += '\n';
}

std::string label_of(std::size_t series)
{
    return std::string(logread::series_names[series]);
}

std::string when(const row_time& at, logread::time_zone zone)
{
    if (at.time) {
        return readable_time(*at.time, zone);
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.3f s elapsed", at.elapsed);
    return text;
}

// The span is the JSON's: runs' spans and the stops between them, never
// negative where a run's start is read an hour out.
void add_span(std::string& text, const summary& part, logread::time_zone zone)
{
    add_line(text, "  time        %s to %s (%s)", when(part.first, zone).c_str(),
             when(part.last, zone).c_str(), span_text(part.span_s).c_str());
}

// The share of the time a fresh complete row covered, beside the share of
// complete rows, and where the rest went: failed queries within the runs,
// stops between them.
void add_coverage(std::string& text, const summary& part, bool whole)
{
    const double share = part.span_s > 0 ? 100.0 * part.covered_s / part.span_s : 100.0;
    add_line(text, "  covered     %.2f%% of the time, %s of %s, by a complete row at most %.0f s old", share,
             span_text(part.covered_s).c_str(), span_text(part.span_s).c_str(),
             logread::time_coverage::fresh_seconds);
    // A run's span holds none of the stop before it; the total's holds them all.
    const double within =
        std::max(0.0, part.span_s - part.covered_s - part.paused_s - (whole ? part.between_runs_s : 0));
    const std::string pauses = part.paused_s > 0 ? ", " + span_text(part.paused_s) + " to pauses" : "";
    std::string between;
    if (whole) {
        between = ", " + span_text(part.between_runs_s) + " between runs";
    } else if (part.between_runs_s > 0) {
        between = "; stopped " + span_text(part.between_runs_s) + " before this run";
    }
    add_line(text, "  lost        %s to failed queries%s%s", span_text(within).c_str(), pauses.c_str(),
             between.c_str());
}

// A line for each kind of fault, with the count of each query it befell:
// "  failed      adc 3, dds 1, tuning 0".
void add_faults(std::string& text, const std::array<std::uint64_t, logread::fault_count>& counts)
{
    for (const logread::fault_kind kind : logread::all_fault_kinds) {
        std::string each;
        for (std::size_t index = 0; index < counts.size(); ++index) {
            const auto which = static_cast<logread::fault>(index);
            if (logread::kind_of(which) == kind) {
                each.append(each.empty() ? "" : ", ")
                    .append(logread::name_of(logread::query_of(which)))
                    .append(" " + std::to_string(counts[index]));
            }
        }
        add_line(text, "  %-11s %s", std::string(logread::name_of(kind)).c_str(), each.c_str());
    }
}

// `whole`: the figures of all runs, not of one.
void add_counts(std::string& text, const summary& part, logread::time_zone zone, bool whole)
{
    add_line(text, "  rows        %llu, %llu complete (%.2f%%)", static_cast<unsigned long long>(part.rows),
             static_cast<unsigned long long>(part.complete_rows),
             100.0 * static_cast<double>(part.complete_rows) / static_cast<double>(part.rows));
    add_coverage(text, part, whole);
    add_faults(text, part.faults);
    if (part.complete_rows == 0) {
        add_line(text, "  no complete row");
    } else {
        add_line(text, "  longest without a complete row: %s, from %s",
                 span_text(part.longest_gap.seconds).c_str(), when(part.longest_gap.began, zone).c_str());
    }
}

// The rate fitted to the least-delayed readings with its standard error
// and the unit's ADEV(10 s) (or, where no second was fitted, the counts
// over the whole span), and the steps of the counter left out.
void add_rate(std::string& text, const summary& part)
{
    const std::optional<double> fitted = part.dds2_fit.rate();
    const std::optional<double> mean = fitted ? fitted : part.dds2.rate();
    std::string figures;
    if (fitted) {
        std::array<char, 96> each{};
        std::snprintf(each.data(), each.size(), " +- %.3f", *part.dds2_fit.error());
        figures = each.data();
        if (const auto adev = part.dds2_fit.adev()) {
            std::snprintf(each.data(), each.size(), ", ADEV(10 s) %.2e of the least-delayed phase", *adev);
            figures += each.data();
        } else {
            figures += ", no ADEV(10 s)";
        }
    }
    const std::string jumps = part.dds2_jumps == 0
                                  ? ""
                                  : "; " + std::to_string(part.dds2_jumps) +
                                        (part.dds2_jumps == 1 ? " jump" : " jumps") + " left out";
    const std::string label = label_of(logread::dds2_rate);
    if (!mean) {
        add_line(text, "  %-11s no readings%s", label.c_str(), jumps.c_str());
    } else {
        add_line(text, "  %-11s mean %.3f counts/s%s%s", label.c_str(), *mean,
                 fitted ? figures.c_str() : " over the whole span", jumps.c_str());
    }
}

void add_readings(std::string& text, const summary& part)
{
    add_line(text, "  %-11s %6s %9s %6s %8s", "", "min", "mean", "max", "sd");
    for (std::size_t channel = 0; channel < logread::channel_names.size(); ++channel) {
        const logread::running_stats& values = part.series[channel];
        if (values.empty()) {
            add_line(text, "  %-11s no readings", label_of(channel).c_str());
        } else {
            add_line(text, "  %-11s %6.0f %9.2f %6.0f %8.2f", label_of(channel).c_str(), values.min(),
                     values.mean(), values.max(), values.sd());
        }
    }
    add_rate(text, part);
    const logread::running_stats& tuning = part.series[logread::user_tuning];
    if (tuning.empty()) {
        add_line(text, "  %-11s no readings", label_of(logread::user_tuning).c_str());
    } else {
        add_line(text, "  %-11s min %.0f, max %.0f", label_of(logread::user_tuning).c_str(), tuning.min(),
                 tuning.max());
    }
}

void add_summary(std::string& text, const summary& part, logread::time_zone zone, bool whole)
{
    if (part.rows == 0) {
        add_line(text, "  no rows");
        return;
    }
    add_span(text, part, zone);
    add_counts(text, part, zone, whole);
    add_readings(text, part);
}

void add_failed_starts(std::string& text, const char* format, std::uint64_t count)
{
    if (count > 0) {
        add_line(text, format, static_cast<unsigned long long>(count));
    }
}

// The zone start lines are read in: their ctime text is the logging
// machine's local time, read here as this machine's (TZ=... reads a log
// written elsewhere).
void add_zone(std::string& text)
{
    tzset();
    const char* tz = std::getenv("TZ");
    const std::string source = tz != nullptr ? "TZ=" + std::string(tz) : "this machine's local time";
    const std::string names =
        tzname[0] == std::string_view(tzname[1]) ? tzname[0] : std::string(tzname[0]) + "/" + tzname[1];
    add_line(text, "Start lines read in %s (%s)", names.c_str(), source.c_str());
}

// Sections (each run's block, the failed starts after the last run, all
// runs' figures) are set apart by an empty line.
class text_form : public report_form {
public:
    explicit text_form(logread::time_zone zone) : zone_(zone) {}

    std::string run_block(const summary& run) override
    {
        std::string text = next_section();
        if (run.run == 0) {
            add_line(text, "Rows before the first start line");
        } else {
            add_line(text, "Run %zu, started %s", run.run,
                     run_start_text(run.start_time, run.started, zone_).c_str());
        }
        add_failed_starts(text, "  failed starts before it: %llu", run.failed_starts);
        add_summary(text, run, zone_, false);
        return text;
    }

    std::string ending(const log_summary& log) override
    {
        std::string text;
        if (log.failed_starts_after_last_run() > 0) {
            text += next_section();
            add_failed_starts(text, "Failed starts after the last run: %llu",
                              log.failed_starts_after_last_run());
        }
        if (log.runs() != 1) {
            text += next_section();
            add_line(text, "All %zu runs", log.runs());
            add_failed_starts(text, "  failed starts %llu", log.total().failed_starts);
            add_summary(text, log.total(), zone_, true);
        }
        return text;
    }

private:
    std::string next_section()
    {
        if (sections_++ != 0) {
            return "\n";
        }
        std::string text;
        add_zone(text);
        return text;
    }

    logread::time_zone zone_;
    std::size_t sections_ = 0;
};

} // namespace

std::unique_ptr<report_form> text_report(logread::time_zone zone)
{
    return std::make_unique<text_form>(zone);
}

} // namespace report
