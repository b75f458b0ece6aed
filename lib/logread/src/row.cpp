#include "logread/row.hpp"

#include "protocol/log_text.hpp"

#include <charconv>
#include <cstdint>

namespace logread {

namespace {

namespace log_text = protocol::log_text;
constexpr log_text::padded_field elapsed = log_text::elapsed_field;
constexpr log_text::padded_field adc = log_text::adc_field;
constexpr std::size_t max_tail_tokens = 6; // note, 3 DDS numbers, note, tuning

// The reasons a line is no log row.
constexpr const char* bad_elapsed = "the elapsed time is not in the \"     %9.3f     \" form";
constexpr const char* negative_elapsed = "the elapsed time is negative";
constexpr const char* unreadable_elapsed = "the elapsed time does not parse as a number";
constexpr const char* elapsed_too_long = "the elapsed time is beyond 1e9 s";
constexpr const char* bad_adc = "an ADC field is not in the \"  %4d  \" form";
constexpr const char* bad_field = "a field is neither a number followed by one space nor \"(CS bad!) \"";
constexpr const char* too_many_fields = "more fields than a row can hold";
constexpr const char* bad_groups = "the fields after the ADC group form no DDS and tuning groups";

// The reasons quote the log's text they expect.
constexpr bool quotes(std::string_view reason, std::string_view text)
{
    return log_text::index_of(reason, text) != std::string_view::npos;
}
static_assert(quotes(bad_elapsed, log_text::line_of(log_text::elapsed_format)));
static_assert(quotes(bad_adc, log_text::adc_format));
static_assert(quotes(bad_field, log_text::cs_bad_note));

// A position in the line with the few ways of reading on from it.
class cursor {
public:
    explicit cursor(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ == text_.size(); }
    std::size_t pos() const { return pos_; }

    std::size_t skip_spaces()
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] == ' ') {
            ++pos_;
        }
        return pos_ - start;
    }

    bool take(std::string_view expected)
    {
        if (text_.substr(pos_).starts_with(expected)) {
            pos_ += expected.size();
            return true;
        }
        return false;
    }

    // A run of characters up to the next space or the line's end.
    std::string_view take_word()
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ' ') {
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool is_digits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Whole text is an integer within [low, high], as printf's %d or %lu write it.
bool is_integer_in(std::string_view text, std::int64_t low, std::int64_t high)
{
    const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    constexpr std::size_t max_digits = 10;
    if (!is_digits(digits) || digits.size() > max_digits) {
        return false;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value >= low && value <= high;
}

bool is_u16(std::string_view text)
{
    return is_integer_in(text, 0, UINT16_MAX);
}
bool is_u32(std::string_view text)
{
    return is_integer_in(text, 0, UINT32_MAX);
}
bool is_i32(std::string_view text)
{
    return is_integer_in(text, INT32_MIN, INT32_MAX);
}

// The elapsed time's number: optional sign, digits, a point and the
// format's decimals.
bool is_elapsed_number(std::string_view text)
{
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos) {
        return false;
    }
    const std::string_view whole = text.starts_with('-') ? text.substr(1, point - 1) : text.substr(0, point);
    const std::string_view decimals = text.substr(point + 1);
    return is_digits(whole) && is_digits(decimals) && decimals.size() == elapsed.decimals;
}

// What no logger's elapsed time can be, for a number in the %9.3f form:
// below zero (it counts from the start), beyond 1e9 s (some 31 years, past
// which a row's time would be no calendar time), or too long for a double.
const char* impossible_elapsed(std::string_view text)
{
    if (text.starts_with('-')) {
        return negative_elapsed;
    }
    constexpr std::size_t digits_below_max = 9; // up to 999999999.999
    if (text.find('.') <= digits_below_max) {
        return nullptr;
    }
    constexpr double max_elapsed = 1e9;
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return unreadable_elapsed;
    }
    return seconds > max_elapsed ? elapsed_too_long : nullptr;
}

// The spaces printf puts before `number` in a padded field: the margin,
// then the padding that right-aligns it.
std::size_t spaces_before(std::string_view number, log_text::padded_field field)
{
    return field.margin + (number.size() < field.width ? field.width - number.size() : 0);
}

// The elapsed field and the margin after it. Returns the spaces that
// follow the number beyond the margin (the start of the ADC group, if any).
const char* read_elapsed(cursor& at, log_row& row, std::size_t& spaces_after)
{
    const std::size_t leading = at.skip_spaces();
    row.elapsed = at.take_word();
    if (!is_elapsed_number(row.elapsed) || leading != spaces_before(row.elapsed, elapsed)) {
        return bad_elapsed;
    }
    if (const char* impossible = impossible_elapsed(row.elapsed)) {
        return impossible;
    }
    const std::size_t trailing = at.skip_spaces();
    if (trailing < elapsed.margin) {
        return bad_elapsed;
    }
    spaces_after = trailing - elapsed.margin;
    return nullptr;
}

// One ADC field, its leading margin already consumed (`leading` is the
// margin plus padding seen before the number).
bool read_adc_field(cursor& at, std::size_t leading, std::string_view& value)
{
    value = at.take_word();
    return is_u16(value) && leading == spaces_before(value, adc) &&
           at.take(log_text::margin_after(log_text::adc_format));
}

// The ADC group, given the spaces already read in front of its first number.
const char* read_adc(cursor& at, std::size_t leading, log_row& row)
{
    for (std::string_view& value : row.adc) {
        if (!read_adc_field(at, leading, value)) {
            return bad_adc;
        }
        if (&value != &row.adc.back()) {
            leading = at.skip_spaces();
        }
    }
    return nullptr;
}

// The fields after the ADC group: notes (an empty view) and numbers, each
// ending with exactly one space.
struct tail_tokens {
    std::array<std::string_view, max_tail_tokens> items{};
    std::size_t count = 0;
};

bool is_note(std::string_view token)
{
    return token.empty();
}

const char* read_tail(cursor& at, tail_tokens& tail)
{
    while (!at.at_end()) {
        if (tail.count == max_tail_tokens) {
            return too_many_fields;
        }
        std::string_view token;
        if (!at.take(log_text::cs_bad_note)) {
            token = at.take_word();
            if (!is_integer_in(token, INT64_MIN, INT64_MAX) || !at.take(log_text::number_end)) {
                return bad_field;
            }
        }
        tail.items[tail.count++] = token;
    }
    return nullptr;
}

// Matches the tokens against: DDS := nothing | note | [note] 3 numbers,
// tuning := nothing | note | [note] number. See parse_row for the choices
// where the row is ambiguous.
class group_matcher {
public:
    explicit group_matcher(const tail_tokens& tail) : tail_(tail) {}

    const char* assign(log_row& row)
    {
        if (dds_at(next_, row.dds)) {
            next_ += 3;
        } else if (note_at(next_) && dds_at(next_ + 1, row.dds)) {
            row.dds_cs_bad = true;
            next_ += 4;
        } else if (note_at(next_) && note_at(next_ + 1)) {
            row.dds_cs_bad = true;
            next_ += 1;
        }
        if (note_at(next_)) {
            row.tuning_cs_bad = true;
            next_ += 1;
        }
        if (number_at(next_) && is_i32(tail_.items[next_])) {
            row.tuning = tail_.items[next_];
            next_ += 1;
        }
        return next_ == tail_.count ? nullptr : bad_groups;
    }

private:
    bool note_at(std::size_t i) const { return i < tail_.count && is_note(tail_.items[i]); }
    bool number_at(std::size_t i) const { return i < tail_.count && !is_note(tail_.items[i]); }

    bool dds_at(std::size_t i, std::array<std::string_view, 3>& dds) const
    {
        if (!number_at(i) || !number_at(i + 1) || !number_at(i + 2)) {
            return false;
        }
        const auto& items = tail_.items;
        if (!is_u32(items[i]) || !is_u32(items[i + 1]) || !is_i32(items[i + 2])) {
            return false;
        }
        dds = {items[i], items[i + 1], items[i + 2]};
        return true;
    }

    const tail_tokens& tail_;
    std::size_t next_ = 0;
};

} // namespace

row_parse parse_row(std::string_view line)
{
    row_parse result;
    cursor at(line);
    std::size_t adc_spaces = 0;
    result.problem = read_elapsed(at, result.row, adc_spaces);
    if (result.problem == nullptr && adc_spaces > 0) {
        result.problem = read_adc(at, adc_spaces, result.row);
    }
    tail_tokens tail;
    if (result.problem == nullptr) {
        result.problem = read_tail(at, tail);
    }
    if (result.problem == nullptr) {
        result.problem = group_matcher(tail).assign(result.row);
    }
    return result;
}

namespace {

template <typename number> number number_of(std::string_view text)
{
    number value{};
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

row_values values_of(const log_row& row)
{
    row_values values;
    values.elapsed = number_of<double>(row.elapsed);
    if (!row.adc[0].empty()) {
        values.adc.emplace();
        for (std::size_t i = 0; i < row.adc.size(); ++i) {
            (*values.adc)[i] = number_of<std::uint16_t>(row.adc[i]);
        }
    }
    if (!row.dds[0].empty()) {
        values.dds = dds_reading{number_of<std::uint32_t>(row.dds[0]), number_of<std::uint32_t>(row.dds[1]),
                                 number_of<std::int32_t>(row.dds[2])};
    }
    if (!row.tuning.empty()) {
        values.tuning = number_of<std::int32_t>(row.tuning);
    }
    values.dds_cs_bad = row.dds_cs_bad;
    values.tuning_cs_bad = row.tuning_cs_bad;
    return values;
}

} // namespace logread
