// The stability library: NBS14, gaps and runs, noise of known kind,
// Greenhall's EDF and drift removal.
#include "stability/analysis.hpp"
#include "stability/edf.hpp"
#include "stability/factors.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace stability;

constexpr double gap = std::numeric_limits<double>::quiet_NaN();

std::vector<double> gaussian(std::size_t count, std::uint64_t seed)
{
    std::mt19937_64 engine(seed);
    std::normal_distribution<double> normal;
    std::vector<double> values(count);
    for (double& value : values)
        value = normal(engine);
    return values;
}

std::vector<double> summed(std::vector<double> values)
{
    for (std::size_t i = 1; i < values.size(); ++i)
        values[i] += values[i - 1];
    return values;
}

// Phase of power-law noise alpha: white noise integrated to the order
// (2 - alpha)/2 (Kasdin and Walter), which makes its spectrum f^(alpha-2);
// orders 1 and 2 are a sum and a double sum.
std::vector<double> power_law_phase(std::size_t count, int alpha, std::uint64_t seed)
{
    const auto white = gaussian(count, seed);
    const double order = (2.0 - alpha) / 2;
    std::vector<double> impulse(count, 1), phase(count);
    for (std::size_t k = 1; k < count; ++k)
        impulse[k] = impulse[k - 1] * (static_cast<double>(k) - 1 + order) / static_cast<double>(k);
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t k = 0; k <= i; ++k)
            phase[i] += impulse[k] * white[i - k];
    return phase;
}

std::size_t count_rows(const std::vector<row>& rows, bool (*holds)(const row&))
{
    return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), holds));
}

// NIST SP 1065's NBS14 set and its published deviations. The modified
// Allan deviation at tau 2 follows from the definition by hand: the five
// sums of two second differences are -243, -469, -248, 529, 524, so
// Mod sigma² = 894931 / (2·2²·2²·5) and mdev = 74.78849, tdev = 2/sqrt(3)
// of that.
TEST(Stability, Nbs14EveryKindFromFrequencyAndFromPhase)
{
    struct published {
        deviation kind;
        double tau1, tau2;
    };
    const std::vector<published> nbs14{
        {deviation::adev, 91.22945, 115.8082},   {deviation::oadev, 91.22945, 85.95287},
        {deviation::mdev, 91.22945, 74.78849},   {deviation::tdev, 52.67135, 86.35831},
        {deviation::hdev, 70.80607, 116.7980},   {deviation::ohdev, 70.80607, 85.61487},
        {deviation::totdev, 91.22945, 93.90379},
    };
    const std::vector<double> y{892, 809, 823, 798, 671, 644, 883, 903, 677};
    const std::vector<std::size_t> factors{1, 2};
    for (const series& data :
         {series{data_kind::frequency, 1, y}, series{data_kind::phase, 1, phase_from_frequency(y, 1)}})
        for (const auto& [kind, tau1, tau2] : nbs14) {
            const auto rows = analysis(data).rows(kind, factors);
            ASSERT_EQ(rows.size(), 2u) << name_of(kind).name;
            EXPECT_NEAR(rows[0].sigma, tau1, 1e-4 * tau1) << name_of(kind).name;
            EXPECT_NEAR(rows[1].sigma, tau2, 1e-4 * tau2) << name_of(kind).name;
            EXPECT_LT(rows[1].sigma_min, rows[1].sigma);
            EXPECT_GT(rows[1].sigma_max, rows[1].sigma);
        }
}

// A gap of g phase points leaves out exactly the overlapping Allan terms
// that touch it, N - 4m - g remain; and whatever the phase does across a
// gap (a step, a new frequency) or the frequency does within one, no
// deviation of any kind sees it.
TEST(Stability, TermsNeverReachAcrossAGap)
{
    const std::size_t points = 2000, at = 900, missing = 7;
    auto phase = summed(gaussian(points, 1));
    std::fill_n(phase.begin() + static_cast<std::ptrdiff_t>(at), missing, gap);
    const series plain{data_kind::phase, 1, phase};
    for (std::size_t m : {1u, 4u, 16u, 64u}) {
        const std::vector<std::size_t> factor{m};
        EXPECT_EQ(analysis(plain).rows(deviation::oadev, factor)[0].n, points - 4 * m - missing) << m;
    }

    series stepped = plain;
    for (std::size_t k = at + missing; k < points; ++k)
        stepped.values[k] += 1e4 + 50.0 * static_cast<double>(k);
    series frequency{data_kind::frequency, 1, frequency_from_phase(plain.values, 1)};
    series frequency_stepped = frequency;
    for (std::size_t k = at + missing; k < frequency.values.size(); ++k)
        frequency_stepped.values[k] += 50;

    const auto factors = octave_factors(points / 4);
    for (const auto& [kind, name, title] : deviation_names)
        for (const auto& [before, after] :
             {std::pair{plain, stepped}, std::pair{frequency, frequency_stepped}}) {
            const auto expected = analysis(before).rows(kind, factors),
                       got = analysis(after).rows(kind, factors);
            ASSERT_EQ(got.size(), expected.size()) << name;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].n, expected[i].n) << name << " m " << got[i].af;
                EXPECT_NEAR(got[i].sigma, expected[i].sigma, 1e-9 * expected[i].sigma)
                    << name << " m " << got[i].af;
            }
        }
}

// Two runs appended apart are two records pooled: every overlapping kind
// keeps the terms each run has alone, and its variance is the mean over
// all of them. (The non-overlapping ones keep the whole record's grid of
// every m-th point, which the second run need not start on.)
TEST(Stability, AppendedRunsPoolTheirTerms)
{
    const auto first = summed(gaussian(700, 7)), second = gaussian(300, 8);
    series runs{data_kind::frequency, 1, {}};
    append_run(runs, first);
    append_run(runs, second);
    const auto factors = octave_factors(64);
    for (deviation kind :
         {deviation::oadev, deviation::mdev, deviation::tdev, deviation::ohdev, deviation::totdev}) {
        const auto name = name_of(kind).name;
        const auto pooled = analysis(runs).rows(kind, factors);
        const auto alone = analysis({data_kind::frequency, 1, first}).rows(kind, factors);
        const auto other = analysis({data_kind::frequency, 1, second}).rows(kind, factors);
        ASSERT_EQ(pooled.size(), factors.size()) << name;
        for (std::size_t i = 0; i < factors.size(); ++i) {
            const auto& [together, a, b] = std::tie(pooled[i], alone[i], other[i]);
            EXPECT_EQ(together.n, a.n + b.n) << name << " m " << factors[i];
            const double squares =
                static_cast<double>(a.n) * a.sigma * a.sigma + static_cast<double>(b.n) * b.sigma * b.sigma;
            EXPECT_NEAR(together.sigma, std::sqrt(squares / static_cast<double>(together.n)),
                        1e-9 * together.sigma)
                << name << " m " << factors[i];
        }
    }
}

// White FM of sigma 1: identified as such at nearly every octave tau, and
// with that noise, oadev and totdev = 1/sqrt(tau) lie inside their 95 %
// bounds at all but a tau or two (the bounds are checked apart from the
// noise identification, which at a few averages can miss).
TEST(Stability, WhiteFrequencyNoiseMeetsTheoryWithinItsBounds)
{
    const analysis white({data_kind::frequency, 1, gaussian(100000, 2)});
    const auto factors = octave_factors(25000);
    const auto identified = white.rows(deviation::oadev, factors);
    ASSERT_EQ(identified.size(), 15u);
    EXPECT_GE(count_rows(identified, [](const row& r) { return r.alpha == 0; }), identified.size() - 2);

    options known;
    known.confidence = 0.95;
    known.alpha = 0;
    for (deviation kind : {deviation::oadev, deviation::totdev}) {
        const auto rows = white.rows(kind, factors, known);
        const auto inside = count_rows(rows, [](const row& r) {
            const double theory = 1 / std::sqrt(r.tau);
            return r.sigma_min < theory && theory < r.sigma_max;
        });
        EXPECT_GE(inside, rows.size() - 2) << name_of(kind).name;
    }
}

// Each of the five noises, at the shortest taus, where the averages are
// many (flicker at longer ones drifts towards its neighbours, as the lag-1
// method does with a few hundred averages).
TEST(Stability, EveryNoiseTypeIsTold)
{
    const std::vector<std::size_t> factors{1, 2};
    for (int alpha = 2; alpha >= -2; --alpha) {
        const analysis noise({data_kind::phase, 1, power_law_phase(4096, alpha, 6)});
        for (const row& r : noise.rows(deviation::oadev, factors))
            EXPECT_EQ(r.alpha, alpha) << "m " << r.af;
    }
}

// Random-walk FM: alpha -2 and sigma growing as sqrt(tau); white PM (as
// phase): alpha 2 and sigma falling as 1/tau, at nearly every tau.
TEST(Stability, RandomWalkFrequencyAndWhitePhaseFollowTheirLaws)
{
    const auto factors = octave_factors(25000);
    const auto walk =
        analysis({data_kind::frequency, 1, summed(gaussian(100000, 3))}).rows(deviation::oadev, factors);
    const auto white_phase =
        analysis({data_kind::phase, 1, gaussian(100000, 4)}).rows(deviation::oadev, factors);
    ASSERT_EQ(walk.size(), 15u);
    ASSERT_EQ(white_phase.size(), 15u);
    EXPECT_GE(count_rows(walk, [](const row& r) { return r.alpha == -2; }), walk.size() - 2);
    EXPECT_GE(count_rows(white_phase, [](const row& r) { return r.alpha == 2; }), white_phase.size() - 2);
    // From tau 16 to 1024: sqrt(64) = 8 times up, 64 times down.
    EXPECT_NEAR(walk[10].sigma / walk[4].sigma, 8, 2);
    EXPECT_NEAR(white_phase[4].sigma / white_phase[10].sigma, 64, 16);
}

// Greenhall's EDF for the overlapping Allan deviation against SP 1065's
// approximations: white FM (3(N-1)/2m - 2(N-2)/N)·4m²/(4m² + 5), white PM
// (N+1)(N-2m)/(2(N-m)).
TEST(Stability, GreenhallEdfMatchesSp1065Approximations)
{
    for (const auto& [points, m] :
         {std::pair<std::size_t, std::size_t>{1000, 1}, {1000, 10}, {100000, 100}}) {
        const double n = static_cast<double>(points), md = static_cast<double>(m);
        const double white_fm = (3 * (n - 1) / (2 * md) - 2 * (n - 2) / n) * 4 * md * md / (4 * md * md + 5);
        const double white_pm = (n + 1) * (n - 2 * md) / (2 * (n - md));
        EXPECT_NEAR(greenhall_edf({2, 1, 1}, m, 0, points), white_fm, 0.01 * white_fm) << points << " " << m;
        EXPECT_NEAR(greenhall_edf({2, 1, 1}, m, 2, points), white_pm, 0.03 * white_pm) << points << " " << m;
    }
}

// Least squares takes out exactly the drift it fits: noise with a
// frequency line (or a quadratic in phase) added gives the deviations of
// the noise alone. The phase fit gives each gap-free piece its own offset,
// so a phase step across the gap doesn't tilt it.
TEST(Stability, DriftIsRemovedExactly)
{
    const auto factors = octave_factors(500);
    auto noise = gaussian(2000, 5);
    series phase{data_kind::phase, 1, summed(noise)};
    noise[700] = gap;
    phase.values[700] = gap;
    series drifting{data_kind::frequency, 1, noise};
    for (std::size_t k = 0; k < noise.size(); ++k)
        drifting.values[k] += 3 + 0.01 * static_cast<double>(k);
    series curved = phase;
    for (std::size_t k = 0; k < phase.values.size(); ++k) {
        const double t = static_cast<double>(k);
        curved.values[k] += 40 - 0.5 * t + 2e-3 * t * t + (k > 700 ? 1e4 : 0);
    }

    for (const auto& [clean, dirty, drift] :
         {std::tuple{series{data_kind::frequency, 1, noise}, drifting, drift_removal::frequency_line},
          std::tuple{phase, curved, drift_removal::phase_quadratic}}) {
        const analysis removed(dirty, drift);
        EXPECT_EQ(removed.removed(), drift);
        const auto expected = analysis(clean, drift).rows(deviation::oadev, factors);
        const auto got = removed.rows(deviation::oadev, factors);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i].sigma, expected[i].sigma, 1e-6 * expected[i].sigma) << got[i].af;
    }
}

TEST(Stability, FactorListsAndKindNames)
{
    EXPECT_EQ(decade_factors(500), (std::vector<std::size_t>{1, 2, 4, 10, 20, 40, 100, 200, 400}));
    const std::vector<double> taus{0.2, 9.6, 3000, 10};
    EXPECT_EQ(factors_for_taus(taus, 10), (std::vector<std::size_t>{1, 300}));
    for (const auto& [kind, name, title] : deviation_names)
        EXPECT_EQ(parse_deviation(name), kind);
    EXPECT_FALSE(parse_deviation("allan"));
}

} // namespace
