// logread: the capped messages about the lines of a file that are no rows,
// so that a damaged or foreign file can't flood the terminal: the first
// shown_per_file are said line by line, the rest only counted.
#pragma once

#include "logread/line_reader.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace logread {

class skipped_line_notes {
public:
    static constexpr std::size_t shown_per_file = 10;

    // describe(source, line), or nothing once shown_per_file were said.
    std::optional<std::string> note(std::string_view source, const skipped_line& line);
    // At the end of a file: "SOURCE: N more lines are no log rows" when
    // some went unsaid. The next file starts a new count.
    std::optional<std::string> file_end(std::string_view source);

private:
    std::size_t count_ = 0;
};

} // namespace logread
