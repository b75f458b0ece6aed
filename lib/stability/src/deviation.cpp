#include "stability/deviation.hpp"

#include <algorithm>

namespace stability {

std::optional<deviation> parse_deviation(std::string_view name)
{
    for (const auto& entry : deviation_names)
        if (entry.name == name)
            return entry.kind;
    return std::nullopt;
}

const deviation_name& name_of(deviation kind)
{
    return *std::find_if(deviation_names.begin(), deviation_names.end(),
                         [&](const deviation_name& entry) { return entry.kind == kind; });
}

} // namespace stability
