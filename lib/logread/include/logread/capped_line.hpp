// logread: a line of the log that comes in pieces, held up to a cap so
// that memory stays bounded whatever the file holds. A longer line is no
// log row: nothing of its text is kept, only that it was too long.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace logread {

class capped_line {
public:
    // Far beyond the longest row fslog prints.
    static constexpr std::size_t max_length = 1024;

    // Adds the next piece of the line; once the line is longer than
    // max_length its text is let go.
    void append(std::string_view piece);
    // Anything of the line came: text, or enough to make it too long.
    bool begun() const { return !text_.empty() || overlong_; }
    bool overlong() const { return overlong_; }
    // The line so far; empty once it is overlong.
    std::string_view text() const { return text_; }
    // Makes room for the next line.
    void clear();

private:
    std::string text_;
    bool overlong_ = false;
};

} // namespace logread
