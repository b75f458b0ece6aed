#include "logread/capped_line.hpp"

namespace logread {

void capped_line::append(std::string_view piece)
{
    if (overlong_ || text_.size() + piece.size() > max_length) {
        overlong_ = true;
        text_.clear();
        return;
    }
    text_ += piece;
}

void capped_line::clear()
{
    text_.clear();
    overlong_ = false;
}

} // namespace logread
