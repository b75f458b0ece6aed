// The stability library: NBS14, gaps and runs, noise of known kind,
// Greenhall's EDF and drift removal.
#include "stability/deviation.hpp"
#include "stability/edf.hpp"
#include "stability/factors.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using namespace stability;

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
