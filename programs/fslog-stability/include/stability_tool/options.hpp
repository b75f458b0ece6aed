// fslog-stability's command line:
//   fslog-stability [OPTION...] LOG...
//   fslog-stability [OPTION...] --phase FILE | --frequency FILE
#pragma once

#include "cli/cli.hpp"
#include "stability/analysis.hpp"
#include "stability/deviation.hpp"
#include "stability/series.hpp"
#include "stability_tool/plot_script.hpp"
#include "stability_tool/row_series.hpp"
#include "stability_tool/series_export.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace stability_tool {

struct data_file_option {
    stability::data_kind kind;
    std::string path;
};

// --tau: octave or decade steps up to a quarter of the data, or the taus given.
enum class tau_steps { octave, decade, given };

struct options {
    std::optional<data_file_option> data_file;
    double tau0 = 1;
    row_series series = row_series::tuning;
    std::optional<double> scale;
    std::optional<double> r0;
    std::vector<stability::deviation> kinds{stability::deviation::oadev, stability::deviation::mdev,
                                            stability::deviation::ohdev, stability::deviation::tdev};
    tau_steps steps = tau_steps::octave;
    std::vector<double> taus; // with tau_steps::given
    double confidence = 0.683;
    stability::drift_removal drift = stability::drift_removal::none;
    bool json = false;
    std::optional<std::string> plot;
    picture_format plot_format = picture_format::png;
    std::vector<series_export> exports;
    std::vector<std::string> logs;
};

struct parsed_options {
    options given;
    cli::command_line line; // help, version or why the command line is bad
};

parsed_options parse_options(int argc, char** argv);

// The averaging factors --tau asks for, over `values` values.
std::vector<std::size_t> factors_for(const options& given, std::size_t values);

inline constexpr cli::program program{
    "fslog-stability", "Usage: fslog-stability [OPTION...] LOG...\n"
                       "       fslog-stability [OPTION...] --phase FILE | --frequency FILE\n"
                       "The Allan deviation family of a series of fslog's log (several LOGs read in\n"
                       "order as one, plain or gzip, - for standard input), or of a data file.\n"
                       "  --series S         tuning (default), vcxo, temperature or dds2\n"
                       "  --scale K          fractional frequency per unit of the series (default 1:\n"
                       "                     the deviations are in the series' own units)\n"
                       "  --r0 R             DDS 2's nominal rate, counts/s (default each segment's own)\n"
                       "  --phase FILE       phase data in seconds, one value a line, nan for a gap\n"
                       "  --frequency FILE   fractional frequency data, the same way\n"
                       "  --tau0 S           seconds between values (default 1): the bins of a log\n"
                       "  --kind K[,K...]    adev, oadev, mdev, tdev, hdev, ohdev, totdev\n"
                       "                     (default oadev,mdev,ohdev,tdev)\n"
                       "  --tau T            octave (default), decade or T1,T2,... seconds\n"
                       "  --ci F             confidence of the bounds (default 0.683)\n"
                       "  --remove-drift D   line (in frequency) or quadratic (in phase)\n"
                       "  --json             the results as one JSON object\n"
                       "  --plot FILE        draw sigma(tau) with gnuplot into FILE.png or FILE.svg\n"
                       "  --export F:FILE    write the series analysed: allantools, stable32 or csv\n"
                       "  -h, --help         show this text\n"
                       "  --version          show the version\n"};

} // namespace stability_tool
