// Label values made valid UTF-8: see label_text.hpp.
#include "metrics/label_text.hpp"

#include <array>
#include <cstddef>

namespace metrics {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// The length of the well-formed sequence at the text's start, or 0.
std::size_t sequence_length(std::string_view text)
{
    const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    // The range the second byte must fall in, after each lead byte (Unicode
    // table 3-7); the others are 0x80 to 0xBF.
    struct form {
        unsigned char lead_low, lead_high, second_low, second_high;
        std::size_t length;
    };
    constexpr std::array<form, 8> forms{{{0xC2, 0xDF, 0x80, 0xBF, 2},
                                         {0xE0, 0xE0, 0xA0, 0xBF, 3},
                                         {0xE1, 0xEC, 0x80, 0xBF, 3},
                                         {0xED, 0xED, 0x80, 0x9F, 3},
                                         {0xEE, 0xEF, 0x80, 0xBF, 3},
                                         {0xF0, 0xF0, 0x90, 0xBF, 4},
                                         {0xF1, 0xF3, 0x80, 0xBF, 4},
                                         {0xF4, 0xF4, 0x80, 0x8F, 4}}};
    for (const form& each : forms) {
        if (lead < each.lead_low || lead > each.lead_high || text.size() < each.length) {
            continue;
        }
        bool formed = byte(1) >= each.second_low && byte(1) <= each.second_high;
        for (std::size_t at = 2; at < each.length; ++at) {
            formed = formed && byte(at) >= 0x80 && byte(at) <= 0xBF;
        }
        return formed ? each.length : 0;
    }
    return 0;
}

} // namespace

std::string valid_utf8(std::string_view text)
{
    std::string valid;
    valid.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = sequence_length(text);
        valid += length == 0 ? replacement : text.substr(0, length);
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return valid;
}

} // namespace metrics
