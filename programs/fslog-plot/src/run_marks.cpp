// The marks between runs: see run_marks.hpp.
#include "plot/run_marks.hpp"

namespace plot {

std::string run_marks(const std::vector<run_extent>& runs, const x_place& x)
{
    std::string lines;
    for (std::size_t i = 1; i < runs.size(); ++i) {
        const std::string number_of = std::to_string(i);
        const std::string ended = x(runs[i - 1].last);
        const std::string began = x(runs[i].first);
        if (runs[i].first > runs[i - 1].last) {
            lines.append("set object ")
                .append(number_of)
                .append(" rect from first ")
                .append(ended)
                .append(", graph 0 to first ")
                .append(began)
                .append(", graph 1 behind fillcolor rgb '#e4e4e4' fillstyle solid noborder\n");
        }
        lines.append("set arrow ")
            .append(number_of)
            .append(" from first ")
            .append(began)
            .append(", graph 0 to first ")
            .append(began)
            .append(", graph 1 nohead dashtype 2 linecolor rgb '#555555' front\n");
    }
    return lines;
}

} // namespace plot
