// The log's text, for both its ends: fslog prints it with the formats
// here, the log tools read it back by what is worked out here from them,
// and the tests build logs with them.
//
// A run's log on fslog's stdout: the start line, the column header, then
// one row per polling cycle, each beginning with its newline (which ends
// the line before): the elapsed time, the four ADC fields, the DDS group
// (dds 1, dds 2, delta dds2) and the user tuning. A failed query leaves its
// fields out; a DDS or tuning reply whose payload check failed is printed
// with the bad note before its numbers.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace protocol::log_text {

// Where `part` first stands in `text`: string_view's find written out,
// since g++ can't evaluate the library's at compile time under
// -fsanitize=undefined (its null-pointer test is no constant expression).
constexpr std::size_t index_of(std::string_view text, std::string_view part)
{
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (text.substr(at, part.size()) == part) {
            return at;
        }
    }
    return std::string_view::npos;
}

// A format's text without the line ends before and after it.
constexpr std::string_view line_of(std::string_view format)
{
    const std::size_t first = format.find_first_not_of('\n');
    return format.substr(first, format.find_last_not_of('\n') + 1 - first);
}

// The text of a line format before and after its one "%s".
inline constexpr std::string_view argument = "%s";
constexpr std::string_view text_before_argument(std::string_view format)
{
    return line_of(format).substr(0, index_of(line_of(format), argument));
}
constexpr std::string_view text_after_argument(std::string_view format)
{
    return line_of(format).substr(index_of(line_of(format), argument) + argument.size());
}

// The first line of a run: ctime's text, whose own newline ends the line.
inline constexpr char start_line_format[] = "# Logging started at %s";
inline constexpr std::string_view start_line_prefix = text_before_argument(start_line_format);

// The first line of a file that fslog went on in after a rotation, with
// its run's start line's time (no line end: the next row's ends it).
inline constexpr char continued_line_format[] = "# Continued: logging started at %s";
inline constexpr std::string_view continued_line_prefix = text_before_argument(continued_line_format);

// The column header, after the start line, without a line end.
inline constexpr char header_line[] =
    "# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, delta dds2, user tuning";
inline constexpr std::string_view comment_mark = "# ";
inline constexpr std::string_view column_separator = ", ";

// The name of the header's column `index`, counted from 0.
constexpr std::string_view header_column(std::size_t index)
{
    std::string_view rest = std::string_view(header_line).substr(comment_mark.size());
    for (; index > 0; --index) {
        rest.remove_prefix(index_of(rest, column_separator) + column_separator.size());
    }
    return rest.substr(0, index_of(rest, column_separator));
}

// The reader knows the header by its first column's name and the separator's comma.
inline constexpr std::string_view header_line_prefix =
    std::string_view(header_line).substr(0, comment_mark.size() + header_column(0).size() + 1);

// The ADC channels' columns, after the elapsed time's, in the row's order.
inline constexpr std::array<std::string_view, 4> adc_columns{header_column(1), header_column(2),
                                                             header_column(3), header_column(4)};

// A row's formats, in the order fslog prints them.
inline constexpr char elapsed_format[] = "\n     %9.3f     ";
inline constexpr char adc_format[] = "  %4d  "; // each channel
inline constexpr char dds_format[] = "%lu %lu %ld ";
inline constexpr char tuning_format[] = "%ld ";

// The notes an exchange prints about a reply's payload check: the logged
// DDS and tuning queries print the bad one before their numbers, the
// diagnostics' exchanges the good one.
inline constexpr char cs_ok_note[] = "cs ok ";
inline constexpr char cs_bad_note[] = "(CS bad!) ";

// What fslog prints instead of a run when it can't start one, each
// between two line ends: its usage (the argument is its own name) and
// the port that would not open.
inline constexpr char usage_format[] = "\nUsage: %s comport\n";
inline constexpr std::string_view usage_prefix = text_before_argument(usage_format);
inline constexpr std::string_view usage_suffix = text_after_argument(usage_format);
inline constexpr char open_failure_format[] = "\nCouldn't open port %s\n";
inline constexpr std::string_view open_failure_prefix = text_before_argument(open_failure_format);

// How a padded format lays out its number: right-aligned in `width`, with
// `margin` spaces before it and as many after, and `decimals` after the point.
struct padded_field {
    std::size_t margin = 0;
    std::size_t width = 0;
    std::size_t decimals = 0;
    constexpr std::size_t length() const { return margin + width + margin; }
};

// The decimal number that a format spells from `at` on, stepping past it.
constexpr std::size_t number_in(std::string_view format, std::size_t& at)
{
    std::size_t number = 0;
    for (; at < format.size() && format[at] >= '0' && format[at] <= '9'; ++at) {
        number = 10 * number + static_cast<std::size_t>(format[at] - '0');
    }
    return number;
}

constexpr padded_field padding_of(std::string_view format)
{
    const std::string_view field = line_of(format);
    padded_field padded;
    padded.margin = index_of(field, "%");
    std::size_t at = padded.margin + 1;
    padded.width = number_in(field, at);
    if (field[at] == '.') {
        padded.decimals = number_in(field, ++at);
    }
    return padded;
}

// The spaces that end a padded format: its margin after the number.
constexpr std::string_view margin_after(std::string_view format)
{
    return line_of(format).substr(line_of(format).find_last_not_of(' ') + 1);
}

inline constexpr padded_field elapsed_field = padding_of(elapsed_format);
inline constexpr padded_field adc_field = padding_of(adc_format);
static_assert(margin_after(elapsed_format).size() == elapsed_field.margin);
static_assert(margin_after(adc_format).size() == adc_field.margin);

// After the ADC group every number ends with one space.
inline constexpr std::string_view number_end = " ";
constexpr bool numbers_end_alike(std::string_view format)
{
    return format.ends_with(number_end) && std::ranges::count(format, '%') == std::ranges::count(format, ' ');
}
static_assert(numbers_end_alike(dds_format) && numbers_end_alike(tuning_format));

} // namespace protocol::log_text
