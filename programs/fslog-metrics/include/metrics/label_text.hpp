// Prometheus takes a label value only as UTF-8, and a log's path is any
// bytes the file system allows.
#pragma once

#include <string>
#include <string_view>

namespace metrics {

// The text with each byte that starts no well-formed UTF-8 sequence (a
// stray continuation byte, a truncated, overlong or surrogate sequence, or
// one past U+10FFFF) replaced by U+FFFD; valid text is left as it is.
std::string valid_utf8(std::string_view text);

} // namespace metrics
