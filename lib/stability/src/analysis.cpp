#include "stability/analysis.hpp"

#include "noise.hpp"
#include "stability/edf.hpp"
#include "variance.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace stability {

namespace {

// The total deviation's terms are overlapping Allan terms (of the extended
// phase), and it takes their normalisation and, for phase noise, their EDF.
difference_statistic statistic_of(deviation kind, std::size_t m)
{
    switch (kind) {
    case deviation::adev: return {2, 1, m};
    case deviation::mdev:
    case deviation::tdev: return {2, m, 1};
    case deviation::hdev: return {3, 1, m};
    case deviation::ohdev: return {3, 1, 1};
    case deviation::oadev:
    case deviation::totdev: break;
    }
    return {2, 1, 1};
}

// A term is tau times a difference of frequency averages of order - 1,
// whose coefficients' squares sum to C(2(order - 1), order - 1): 2 for
// Allan's first difference, 6 for Hadamard's second.
double normalisation(int order)
{
    double binomial = 1;
    for (int k = 1; k < order; ++k)
        binomial = binomial * (order - 1 + k) / k;
    return binomial;
}

const series& checked(const series& data)
{
    if (!(data.tau0 > 0) || !std::isfinite(data.tau0))
        throw std::invalid_argument("tau0 must be a positive number of seconds");
    return data;
}

void check(std::span<const std::size_t> factors, const options& given)
{
    if (std::find(factors.begin(), factors.end(), 0) != factors.end())
        throw std::invalid_argument("an averaging factor must be 1 or more");
    if (!(given.confidence > 0 && given.confidence < 1))
        throw std::invalid_argument("the confidence must lie between 0 and 1");
    if (given.alpha && (*given.alpha < -2 || *given.alpha > 2))
        throw std::invalid_argument("the noise exponent alpha must lie in 2 .. -2");
}

} // namespace

analysis::analysis(const series& data, drift_removal drift) : phase_(checked(data)), tau0_(data.tau0)
{
    const bool fitted = (drift == drift_removal::frequency_line && phase_.remove_frequency_line()) ||
                        (drift == drift_removal::phase_quadratic && phase_.remove_phase_quadratic());
    if (fitted)
        removed_ = drift;
}

std::vector<row> analysis::rows(deviation kind, std::span<const std::size_t> factors,
                                const options& given) const
{
    check(factors, given);
    const bool total = kind == deviation::totdev;
    std::vector<row> found;
    int alpha = 0;
    for (std::size_t m : factors) {
        const auto statistic = statistic_of(kind, m);
        const auto terms = total ? total_terms(phase_, m) : difference_terms(phase_, statistic, m);
        if (terms.count == 0)
            continue;
        alpha = given.alpha ? *given.alpha : identify_noise(phase_, m).value_or(alpha);
        const double tau = static_cast<double>(m) * tau0_;
        double sigma = std::sqrt(terms.mean() / normalisation(statistic.order)) / tau;
        if (kind == deviation::tdev)
            sigma *= tau / std::sqrt(3.0);
        const double edf = total ? total_edf(m, alpha, terms.count + 2)
                                 : greenhall_edf(statistic, m, alpha,
                                                 statistic.span(m) + (terms.count - 1) * statistic.stride);
        const auto [low, high] = deviation_bounds(sigma, edf, given.confidence);
        found.push_back({m, tau, terms.count, alpha, edf, sigma, low, high});
    }
    return found;
}

} // namespace stability
