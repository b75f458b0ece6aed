#include "stability/phase_record.hpp"

#include "finite_mean.hpp"
#include "integrate.hpp"

#include <algorithm>
#include <cmath>

namespace stability {

phase_record::phase_record(const series& data)
{
    const bool frequency = data.kind == data_kind::frequency;
    const auto& values = data.values;
    if (frequency)
        phase_ = integrate(values, data.tau0, finite_mean(values, [](double y) { return y; }));
    else
        for (double x : values)
            phase_.push_back(std::isfinite(x) ? x : 0);
    const auto broken = [&](std::size_t step) {
        return frequency ? !std::isfinite(values[step])
                         : !std::isfinite(values[step]) || !std::isfinite(values[step + 1]);
    };
    broken_before_.assign(phase_.size(), 0);
    for (std::size_t step = 0; step + 1 < phase_.size(); ++step)
        broken_before_[step + 1] = broken_before_[step] + (broken(step) ? 1 : 0);
}

std::vector<std::pair<std::size_t, std::size_t>> phase_record::pieces() const
{
    std::vector<std::pair<std::size_t, std::size_t>> found;
    for (std::size_t begin = 0; begin < size();) {
        std::size_t end = begin + 1;
        while (end < size() && joined(end - 1, end))
            ++end;
        if (end - begin >= 2)
            found.emplace_back(begin, end);
        begin = end;
    }
    return found;
}

bool phase_record::remove_frequency_line()
{
    // Frequency v_s = x_{s+1} - x_s (in phase per step) = a + b·(s - s̄).
    double steps = 0, sum_s = 0, sum_v = 0;
    for (std::size_t s = 0; s + 1 < size(); ++s)
        if (joined(s, s + 1)) {
            ++steps;
            sum_s += static_cast<double>(s);
            sum_v += phase_[s + 1] - phase_[s];
        }
    if (steps < 2)
        return false;
    const double mean_s = sum_s / steps, a = sum_v / steps;
    double ss = 0, sv = 0;
    for (std::size_t s = 0; s + 1 < size(); ++s)
        if (joined(s, s + 1)) {
            const double centred = static_cast<double>(s) - mean_s;
            ss += centred * centred;
            sv += centred * (phase_[s + 1] - phase_[s] - a);
        }
    const double b = sv / ss;
    // The line summed over steps 0 .. k-1 is the phase it made by point k.
    for (std::size_t k = 0; k < size(); ++k) {
        const double kd = static_cast<double>(k);
        phase_[k] -= a * kd + b * (kd * (kd - 1) / 2 - mean_s * kd);
    }
    return true;
}

bool phase_record::remove_phase_quadratic()
{
    // x_k = c_piece + b·t + a·t², with t scaled to [-1, 1] to keep t² well
    // conditioned over a week of points. Each piece's own offset c_piece
    // drops out by centring x, t and t² on the piece's means.
    const double centre = static_cast<double>(size() - 1) / 2, scale = std::max(1.0, centre);
    const auto time = [&](std::size_t k) { return (static_cast<double>(k) - centre) / scale; };
    double tt = 0, tq = 0, qq = 0, xt = 0, xq = 0;
    for (const auto& [begin, end] : pieces()) {
        double mean_x = 0, mean_t = 0, mean_q = 0;
        for (std::size_t k = begin; k < end; ++k) {
            mean_x += phase_[k];
            mean_t += time(k);
            mean_q += time(k) * time(k);
        }
        const auto points = static_cast<double>(end - begin);
        mean_x /= points;
        mean_t /= points;
        mean_q /= points;
        for (std::size_t k = begin; k < end; ++k) {
            const double x = phase_[k] - mean_x, t = time(k) - mean_t, q = time(k) * time(k) - mean_q;
            tt += t * t;
            tq += t * q;
            qq += q * q;
            xt += x * t;
            xq += x * q;
        }
    }
    const double determinant = tt * qq - tq * tq;
    if (!(determinant > 1e-12 * tt * qq))
        return false;
    const double b = (xt * qq - xq * tq) / determinant, a = (xq * tt - xt * tq) / determinant;
    for (std::size_t k = 0; k < size(); ++k)
        phase_[k] -= b * time(k) + a * time(k) * time(k);
    return true;
}

} // namespace stability
