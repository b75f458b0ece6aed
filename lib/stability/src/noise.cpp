#include "noise.hpp"

#include "finite_mean.hpp"
#include "variance.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

namespace stability {

namespace {

constexpr double gap = std::numeric_limits<double>::quiet_NaN();

// The phase at every m-th point, a gap between points that a broken step
// separates: the pieces come out apart, and a lone point is left out.
std::vector<double> decimated(const phase_record& phase, std::size_t m)
{
    std::vector<double> points;
    bool open = false;
    for (std::size_t i = 0; i + m < phase.size(); i += m) {
        if (!phase.joined(i, i + m)) {
            if (open)
                points.push_back(gap);
            open = false;
            continue;
        }
        if (!open)
            points.push_back(phase[i]);
        points.push_back(phase[i + m]);
        open = true;
    }
    return points;
}

std::vector<double> differences(const std::vector<double>& values)
{
    std::vector<double> steps;
    for (std::size_t i = 0; i + 1 < values.size(); ++i)
        steps.push_back(values[i + 1] - values[i]);
    return steps;
}

// The lag-1 autocorrelation, within each gap-free piece about the piece's
// own mean (a constant that differs from piece to piece, like the phase
// after a frequency gap, is not correlation); 0 when nothing varies.
double lag1_autocorrelation(const std::vector<double>& values)
{
    double products = 0, squares = 0;
    for (std::size_t begin = 0; begin < values.size();) {
        std::size_t end = begin;
        double sum = 0;
        for (; end < values.size() && std::isfinite(values[end]); ++end)
            sum += values[end];
        const double mean = sum / static_cast<double>(std::max<std::size_t>(1, end - begin));
        for (std::size_t i = begin; i < end; ++i) {
            squares += (values[i] - mean) * (values[i] - mean);
            if (i + 1 < end)
                products += (values[i] - mean) * (values[i + 1] - mean);
        }
        begin = end + 1;
    }
    return squares > 0 ? products / squares : 0;
}

// Riley and Greenhall: difference the data until delta = r1 / (1 + r1)
// falls below 0.25 (stationary), at most twice (random-walk FM phase needs
// two); the phase's spectral exponent is then -2·(delta + d), and alpha is
// 2 more.
int from_autocorrelation(std::vector<double> phase)
{
    constexpr int most_differences = 2;
    for (int d = 0;; ++d) {
        const double r1 = lag1_autocorrelation(phase), delta = r1 / (1 + r1);
        if (delta < 0.25 || d == most_differences)
            return static_cast<int>(std::lround(std::clamp(2 - 2 * (delta + d), -2.0, 2.0)));
        phase = differences(phase);
    }
}

// Barnes' B1(N, mu) expected for N frequency averages under noise mu
// (1 random-walk FM, 0 flicker FM, -1 white FM, -2 white or flicker PM).
double expected_b1(double n, int mu)
{
    if (mu == 0)
        return n * std::log(n) / (2 * (n - 1) * std::numbers::ln2);
    return n * (1 - std::pow(n, mu)) / (2 * (n - 1) * (1 - std::pow(2.0, mu)));
}

// White or flicker PM, by R(n) = Mod sigma² / sigma² at factor m, against
// 1/m for white PM and 3.37 / (1.038 + 3·ln(omega_h·tau)) for flicker PM,
// with omega_h·tau = pi·m at the data's Nyquist bandwidth. White PM when
// there are no modified terms.
int phase_noise_from_r(const phase_record& phase, std::size_t m)
{
    const auto modified = difference_terms(phase, {2, m, 1}, m);
    const auto plain = difference_terms(phase, {2, 1, 1}, m);
    if (modified.count == 0 || !(plain.sum > 0))
        return 2;
    const double r = modified.mean() / plain.mean(), md = static_cast<double>(m);
    const double white = 1 / md, flicker = 3.37 / (1.038 + 3 * std::log(std::numbers::pi * md));
    return std::abs(std::log(r / white)) <= std::abs(std::log(r / flicker)) ? 2 : 1;
}

// B1 = the averages' standard variance over their Allan variance, taken
// for the noise whose expected B1 is nearest on a log scale; PM is told
// apart by R(n). Nothing when the averages don't vary.
std::optional<int> from_b1(const std::vector<double>& frequency, std::size_t averages,
                           const phase_record& phase, std::size_t m)
{
    const auto n = static_cast<double>(averages);
    const auto square = [](double v) { return v * v; };
    const double allan = finite_mean(differences(frequency), square) / 2;
    if (!(allan > 0))
        return std::nullopt;
    const double mean = finite_mean(frequency, [](double v) { return v; });
    const double spread = finite_mean(frequency, [&](double v) { return square(v - mean); });
    const double b1 = spread * n / (n - 1) / allan;
    const auto nearer = [&](int mu, int other) {
        return std::abs(std::log(b1 / expected_b1(n, mu))) < std::abs(std::log(b1 / expected_b1(n, other)));
    };
    constexpr std::array<int, 4> mus{1, 0, -1, -2};
    const int mu = *std::min_element(mus.begin(), mus.end(), nearer);
    if (mu > -2)
        return -mu - 1;
    return phase_noise_from_r(phase, m);
}

} // namespace

std::optional<int> identify_noise(const phase_record& phase, std::size_t m)
{
    auto points = decimated(phase, m);
    const auto frequency = differences(points);
    const auto averages = static_cast<std::size_t>(
        std::count_if(frequency.begin(), frequency.end(), [](double y) { return std::isfinite(y); }));
    if (averages >= 30)
        return from_autocorrelation(std::move(points));
    if (averages >= 3)
        return from_b1(frequency, averages, phase, m);
    return std::nullopt;
}

} // namespace stability
