#include "logread/skipped_line_notes.hpp"

#include <algorithm>
#include <utility>

namespace logread {

std::optional<std::string> skipped_line_notes::note(std::string_view source, const skipped_line& line)
{
    return ++count_ <= shown_per_file ? std::optional(describe(source, line)) : std::nullopt;
}

std::optional<std::string> skipped_line_notes::file_end(std::string_view source)
{
    const std::size_t seen = std::exchange(count_, 0);
    const std::size_t unsaid = seen - std::min(seen, shown_per_file);
    if (unsaid == 0) {
        return std::nullopt;
    }
    return std::string(source) + ": " + std::to_string(unsaid) + " more lines are no log rows";
}

} // namespace logread
