#include "stability/edf.hpp"

#include "difference.hpp"

#include <algorithm>
#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <vector>

namespace stability {

namespace {

std::invalid_argument unknown_noise()
{
    return std::invalid_argument("noise exponent alpha outside 2 .. -2");
}

// Greenhall's sw: the generalized autocovariance of the integrated phase
// for noise alpha, at lag t, up to a constant factor (which cancels in the
// EDF). t^k·ln|t| is 0 at t = 0.
double integrated_phase_covariance(double t, int alpha)
{
    const double a = std::abs(t), log_a = a == 0 ? 0 : std::log(a);
    switch (alpha) {
    case 2: return -a;
    case 1: return a * a * log_a;
    case 0: return a * a * a;
    case -1: return -a * a * a * a * log_a;
    case -2: return -a * a * a * a * a;
    default: throw unknown_noise();
    }
}

} // namespace

double greenhall_edf(const difference_statistic& statistic, std::size_t m, int alpha,
                     std::size_t phase_points)
{
    const int order = statistic.order;
    const std::size_t averaged = statistic.averaged, stride = statistic.stride;
    if (phase_points < statistic.span(m))
        return std::numeric_limits<double>::quiet_NaN();
    const std::size_t terms = 1 + (phase_points - statistic.span(m)) / stride;
    const std::size_t lags = std::min(terms, static_cast<std::size_t>(order + 1) * m / stride);

    // sx, the covariance of the phase as the statistic takes it. The plain
    // statistics sample it: FM noise as it is (Greenhall's F = infinity,
    // sx = sw(t, alpha + 2)); PM noise, whose phase has no covariance
    // function, averaged over one sample (F = m). The modified ones average
    // it over m samples, tau (F = 1). Averaged over a window, sx is the
    // window's second difference of sw.
    const bool sampled = averaged == 1 && alpha <= 0;
    // Lags in units of tau fall on the grid i/m; sw is even, so it is
    // tabulated once for i >= 0, as far as the last lag's sz reaches.
    std::vector<double> sw(lags * stride + statistic.span(m) + 1);
    for (std::size_t i = 0; i < sw.size(); ++i)
        sw[i] = integrated_phase_covariance(static_cast<double>(i) / static_cast<double>(m),
                                            sampled ? alpha + 2 : alpha);
    const auto w = [&](std::ptrdiff_t i) { return sw[static_cast<std::size_t>(std::abs(i))]; };
    const auto avg = static_cast<std::ptrdiff_t>(averaged), lag = static_cast<std::ptrdiff_t>(m);
    const difference second(2), term(2 * order);
    const auto x = [&](std::ptrdiff_t i) { return sampled ? w(i) : second(w, i - avg, avg); };
    // sz: a term's covariance, the order-th difference of sx taken both
    // ways (signs and constant factors drop out once squared).
    const auto squared_covariance = [&](std::size_t j) {
        const auto at = static_cast<std::ptrdiff_t>(j * stride);
        const double covariance = term(x, at - order * lag, lag);
        return covariance * covariance;
    };

    // Greenhall's BasicSum: the last lag counts once, the others twice.
    const auto weight = [&](std::size_t j) {
        return 1 - static_cast<double>(j) / static_cast<double>(terms);
    };
    double sum = squared_covariance(0) + weight(lags) * squared_covariance(lags);
    for (std::size_t j = 1; j < lags; ++j)
        sum += 2 * weight(j) * squared_covariance(j);
    return static_cast<double>(terms) * squared_covariance(0) / sum;
}

double total_edf(std::size_t m, int alpha, std::size_t phase_points)
{
    if (alpha >= 1 || m == 1)
        return greenhall_edf({2, 1, 1}, m, alpha, phase_points);
    const double periods = static_cast<double>(phase_points - 1) / static_cast<double>(m);
    switch (alpha) {
    case 0: return 1.50 * periods;
    case -1: return 1.17 * periods - 0.22;
    case -2: return 0.93 * periods - 0.36;
    default: throw unknown_noise();
    }
}

bounds deviation_bounds(double sigma, double edf, double confidence)
{
    const boost::math::chi_squared_distribution<double> chi_squared(edf);
    const auto bound = [&](double probability) {
        return sigma * std::sqrt(edf / boost::math::quantile(chi_squared, probability));
    };
    return {bound((1 + confidence) / 2), bound((1 - confidence) / 2)};
}

} // namespace stability
