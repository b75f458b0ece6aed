#include "logread/start_line.hpp"

#include <string>

namespace logread {

std::optional<std::time_t> parse_start_time(std::string_view ctime_text)
{
    // strptime wants a terminated string; a start line is short.
    const std::string text(ctime_text);
    std::tm fields{};
    const char* end = strptime(text.c_str(), "%a %b %d %H:%M:%S %Y", &fields);
    if (end == nullptr || *end != '\0') {
        return std::nullopt;
    }
    fields.tm_isdst = -1; // whichever of summer or winter time was in force then
    const std::time_t start = std::mktime(&fields);
    if (start == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return start;
}

} // namespace logread
