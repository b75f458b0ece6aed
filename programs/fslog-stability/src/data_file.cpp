#include "stability_tool/data_file.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <string_view>

namespace stability_tool {

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// A value, NaN for a gap; nothing for a line that is neither.
std::optional<double> value_of(std::string_view text)
{
    const std::string whole(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(whole.c_str(), &end);
    if (end != whole.c_str() + whole.size() || errno == ERANGE) {
        return std::nullopt;
    }
    return std::isfinite(value) || std::isnan(value) ? std::optional(value) : std::nullopt;
}

} // namespace

std::variant<stability::series, std::string> read_data_file(const std::string& path,
                                                            stability::data_kind kind, double tau0)
{
    std::ifstream in(path);
    if (!in) {
        return "can't open " + path + ": " + std::strerror(errno);
    }
    stability::series data{kind, tau0, {}};
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        const std::optional<double> value = value_of(text);
        if (!value) {
            return path + ":" + std::to_string(number) + ": not a number";
        }
        data.values.push_back(std::isnan(*value) ? std::numeric_limits<double>::quiet_NaN() : *value);
    }
    if (in.bad()) {
        return "can't read " + path;
    }
    return data;
}

} // namespace stability_tool
