#include "variance.hpp"

#include "difference.hpp"

#include <vector>

namespace stability {

term_squares difference_terms(const phase_record& phase, const difference_statistic& statistic, std::size_t m)
{
    const std::size_t reach = static_cast<std::size_t>(statistic.order) * m, span = statistic.span(m);
    term_squares terms;
    if (phase.size() < span)
        return terms;
    const auto x = [&](std::ptrdiff_t i) { return phase[static_cast<std::size_t>(i)]; };
    const difference order(statistic.order);
    // Running sums of the differences; one across a broken step counts 0,
    // as no kept term uses it.
    std::vector<double> sums(phase.size() - reach + 1);
    for (std::size_t i = 0; i + reach < phase.size(); ++i) {
        const bool known = phase.joined(i, i + reach);
        sums[i + 1] =
            sums[i] + (known ? order(x, static_cast<std::ptrdiff_t>(i), static_cast<std::ptrdiff_t>(m)) : 0);
    }
    const auto averaged = static_cast<double>(statistic.averaged);
    for (std::size_t first = 0; first + span <= phase.size(); first += statistic.stride)
        if (phase.joined(first, first + span - 1))
            terms.add((sums[first + statistic.averaged] - sums[first]) / averaged);
    return terms;
}

term_squares total_terms(const phase_record& phase, std::size_t m)
{
    term_squares terms;
    const difference second(2);
    for (const auto& piece : phase.pieces()) {
        const std::size_t begin = piece.first, length = piece.second - piece.first;
        if (2 * m + 1 > length)
            continue;
        const auto points = static_cast<std::ptrdiff_t>(length);
        const auto at = [&](std::ptrdiff_t i) { return phase[begin + static_cast<std::size_t>(i)]; };
        const auto extended = [&](std::ptrdiff_t i) {
            if (i < 0)
                return 2 * at(0) - at(-i);
            if (i >= points)
                return 2 * at(points - 1) - at(2 * (points - 1) - i);
            return at(i);
        };
        const auto lag = static_cast<std::ptrdiff_t>(m);
        for (std::ptrdiff_t centre = 1; centre + 1 < points; ++centre)
            terms.add(second(extended, centre - lag, lag));
    }
    return terms;
}

} // namespace stability
