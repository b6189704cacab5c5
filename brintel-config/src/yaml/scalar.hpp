// What a YAML scalar's text means, decided in one place: the reader uses it
// to take numbers and booleans and to describe what it found, the writer to
// decide which strings need quotes to read back as strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brintel::yaml {

// The six boolean spellings.
std::optional<bool> parse_bool(std::string_view text);

// "", "~", "null", "Null", "NULL".
bool is_null_spelling(std::string_view text);

// An unsigned integer in the forms the reader takes: one optional "+", then
// 0x/0o/0b with digits, or decimal digits without a leading zero (0 itself
// excepted). Nullopt when the text is not such a number or exceeds 64 bits.
std::optional<std::uint64_t> parse_unsigned(std::string_view text);

// An integer in any of the unsigned or negative forms, whatever its size.
bool has_integer_form(std::string_view text);

// The value of an integer in any of the unsigned or negative forms that
// fits 128 bits: its decimal digits ("-" first when negative, "-0" as "0"),
// and whether it lies beyond the 64-bit type of its sign.
struct DecimalInteger {
    std::string digits;
    bool beyond_64_bits = false;
};
std::optional<DecimalInteger> decimal_integer(std::string_view text);

// A finite decimal number, or one of the YAML spellings of infinity and
// not-a-number. Never a leading-zero digit string such as 007: that is no
// number in either direction.
std::optional<double> parse_float(std::string_view text);

// Whether a plain scalar may read as something other than a string, or be
// a leading-zero digit string; false settles that it is plain text. Decided
// by the first byte alone, which rules out most texts at once.
bool may_be_typed(std::string_view text);

// How a plain scalar reads when nothing forces a type on it.
enum class PlainMeaning : std::uint8_t { Null, Boolean, Integer, Float, String };

// What `text` means as a plain scalar.
PlainMeaning plain_meaning(std::string_view text);

// Two or more digits beginning with "0", after an optional sign: never a
// number in either direction.
bool is_leading_zero_digits(std::string_view text);

// The shortest digits that read back as `value`, written out without
// exponent (padded with zeros as far as the exponent reaches), ".0" added to
// whole numbers; inf, -inf and NaN for the special values.
std::string format_float(double value);

}  // namespace brintel::yaml
