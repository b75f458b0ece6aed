// logread: the two comment lines fslog prints when it starts, and the
// start time read back from the first. A run of the logger begins with
// "# Logging started at <ctime text>", then the column header.
#pragma once

#include <ctime>
#include <optional>
#include <string_view>

namespace logread {

inline constexpr std::string_view start_line_prefix = "# Logging started at ";
inline constexpr std::string_view header_line_prefix = "# Elapsed (s),";

// The start time in a start line's ctime text ("Tue Dec  8 09:14:03 2026"),
// read as local time on this machine; nothing when the text is no such
// time. ctime shows whole seconds, so this is the start to within a second.
std::optional<std::time_t> parse_start_time(std::string_view ctime_text);

} // namespace logread
