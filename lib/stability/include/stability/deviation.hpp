// stability: the deviations, each with its name on the command line and
// its title, in one table.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace stability {

// As NIST SP 1065 defines them, on phase x at averaging factor m, tau = m·tau0:
//   adev    Allan: second differences x_{j+2m} - 2x_{j+m} + x_j, every m-th j
//   oadev   overlapping Allan: the same at every j
//   mdev    modified Allan: second differences of the phase averaged over m points, every j
//   tdev    time deviation: tau/sqrt(3) · mdev, in seconds
//   hdev    Hadamard: third differences, every m-th j
//   ohdev   overlapping Hadamard: third differences at every j
//   totdev  total: second differences at every j of the phase extended by reflection at both ends
enum class deviation { adev, oadev, mdev, tdev, hdev, ohdev, totdev };

struct deviation_name {
    deviation kind;
    std::string_view name;
    std::string_view title;
};

inline constexpr std::array<deviation_name, 7> deviation_names{{
    {deviation::adev, "adev", "Allan"},
    {deviation::oadev, "oadev", "Overlapping Allan"},
    {deviation::mdev, "mdev", "Modified Allan"},
    {deviation::tdev, "tdev", "Time"},
    {deviation::hdev, "hdev", "Hadamard"},
    {deviation::ohdev, "ohdev", "Overlapping Hadamard"},
    {deviation::totdev, "totdev", "Total"},
}};

// The kind named `name` ("oadev"), or nothing.
std::optional<deviation> parse_deviation(std::string_view name);

const deviation_name& name_of(deviation kind);

} // namespace stability
