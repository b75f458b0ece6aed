// The simulator's random draws, made from the engine's bits directly, so a
// seed replays the same way whichever standard library the simulator was
// built with.
#pragma once

#include <cmath>
#include <numbers>
#include <random>

namespace sim {

// Uniform in [0, 1).
inline double unit_interval(std::mt19937_64& random)
{
    return static_cast<double>(random() >> 11) * 0x1.0p-53;
}

// Standard normal, by Box and Muller.
inline double standard_normal(std::mt19937_64& random)
{
    const double radius = std::sqrt(-2.0 * std::log(1.0 - unit_interval(random)));
    return radius * std::cos(2.0 * std::numbers::pi * unit_interval(random));
}

} // namespace sim
