// logread: the one way the log tools hand text to a descriptor.
#pragma once

#include <string_view>

namespace logread {

// Writes all of `text` to `fd`, going on after a signal. False when the
// descriptor takes nothing more (errno says why).
bool write_all(int fd, std::string_view text);

} // namespace logread
