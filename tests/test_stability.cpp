// The stability library: NBS14, gaps and runs, noise of known kind,
// Greenhall's EDF and drift removal.
#include "stability/deviation.hpp"
#include "stability/factors.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace stability;

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
