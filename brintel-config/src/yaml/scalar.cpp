#include "yaml/scalar.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <cmath>
#include <limits>
#include <span>

namespace brintel::yaml {
namespace {

using u128 = unsigned __int128;

constexpr std::array<std::string_view, 4> null_words{"~", "null", "Null", "NULL"};
constexpr std::array<std::string_view, 3> true_words{"true", "True", "TRUE"};
constexpr std::array<std::string_view, 3> false_words{"false", "False", "FALSE"};
// Every number form opens with one of these: a sign, a digit, or the point
// of ".5", ".inf" and ".nan".
constexpr std::string_view number_starts = "+-.0123456789";

// The first bytes of every text that may read as something other than a
// string, drawn from the lists above.
constexpr std::array<bool, 256> typed_starts = [] {
    std::array<bool, 256> starts{};
    const auto opens = [&](char first) { starts[static_cast<unsigned char>(first)] = true; };
    std::ranges::for_each(null_words, [&](std::string_view word) { opens(word[0]); });
    std::ranges::for_each(true_words, [&](std::string_view word) { opens(word[0]); });
    std::ranges::for_each(false_words, [&](std::string_view word) { opens(word[0]); });
    std::ranges::for_each(number_starts, opens);
    return starts;
}();

bool is_one_of(std::string_view text, std::span<const std::string_view> words) {
    return std::ranges::find(words, text) != words.end();
}

struct Digits {
    std::string_view digits;
    unsigned base = 10;
};

unsigned digit_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return 99;
}

// Splits an unsigned form (no sign) into base and digits; nullopt when the
// shape is wrong.
std::optional<Digits> unsigned_form(std::string_view text) {
    Digits form{text, 10};
    if (text.size() >= 2 && text[0] == '0') {
        switch (text[1]) {
        case 'x': form = {text.substr(2), 16}; break;
        case 'o': form = {text.substr(2), 8}; break;
        case 'b': form = {text.substr(2), 2}; break;
        default: return std::nullopt;  // a leading zero is not a number
        }
    }
    if (form.digits.empty()) return std::nullopt;
    for (char c : form.digits) {
        if (digit_value(c) >= form.base) return std::nullopt;
    }
    return form;
}

// Nullopt on overflow of 128 bits.
std::optional<u128> accumulate(const Digits& form) {
    u128 value = 0;
    for (char c : form.digits) {
        if (__builtin_mul_overflow(value, form.base, &value) ||
            __builtin_add_overflow(value, digit_value(c), &value)) {
            return std::nullopt;
        }
    }
    return value;
}

std::string decimal(u128 value) {
    char buffer[40];
    char* end = buffer + sizeof buffer;
    char* start = end;
    do {
        *--start = static_cast<char>('0' + static_cast<unsigned>(value % 10));
        value /= 10;
    } while (value != 0);
    return std::string(start, end);
}

// "-" and "+" may open a number once; a second sign is never part of it.
std::string_view strip_plus(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    return text;
}

struct SignedForm {
    bool negative;
    Digits form;
};

// An integer in the unsigned or negative forms, of any size.
std::optional<SignedForm> signed_form(std::string_view text) {
    const bool negative = text.starts_with('-');
    const auto form = unsigned_form(negative ? text.substr(1) : strip_plus(text));
    if (!form) return std::nullopt;
    return SignedForm{negative, *form};
}

struct Integer {
    bool negative;
    u128 magnitude;
};

// An integer in the unsigned or negative forms, within 128 bits.
std::optional<Integer> parse_integer(std::string_view text) {
    const auto form = signed_form(text);
    if (!form) return std::nullopt;
    const auto magnitude = accumulate(form->form);
    if (!magnitude || (form->negative && *magnitude > u128{1} << 127)) return std::nullopt;
    return Integer{form->negative, *magnitude};
}

}  // namespace

bool has_integer_form(std::string_view text) { return signed_form(text).has_value(); }

std::optional<DecimalInteger> decimal_integer(std::string_view text) {
    const auto integer = parse_integer(text);
    if (!integer) return std::nullopt;
    const u128 magnitude = integer->magnitude;
    if (!integer->negative || magnitude == 0) {
        return DecimalInteger{decimal(magnitude), magnitude > std::numeric_limits<std::uint64_t>::max()};
    }
    std::string digits(1, '-');  // not "-" + ...: g++ 12 then warns of a memcpy overlap
    digits += decimal(magnitude);
    return DecimalInteger{std::move(digits), magnitude > u128{1} << 63};
}

namespace {

// [sign] (digits [. digits*] | . digits) [(e|E) [sign] digits]
bool decimal_float_shape(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - start;
    };
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

// from_chars refuses both ends of the range. A number too small to
// represent is zero, one too large is no finite number at all.
std::optional<double> underflow_or_nothing(std::string_view text) {
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    const std::string copy(text);
    const double value = strtod_l(copy.c_str(), nullptr, c_locale);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

// `digits` d0 d1 ... standing for d0.d1... times ten to `exponent`.
std::string without_exponent(std::string_view digits, int exponent) {
    const long point = long{exponent} + 1;  // digits before the decimal point
    std::string out;
    if (point <= 0) {
        out.append("0.").append(static_cast<std::size_t>(-point), '0').append(digits);
        return out;
    }
    const auto whole = static_cast<std::size_t>(point);
    if (whole >= digits.size()) {
        out.append(digits).append(whole - digits.size(), '0').append(".0");
    } else {
        out.append(digits.substr(0, whole)).append(".").append(digits.substr(whole));
    }
    return out;
}

}  // namespace

std::optional<double> parse_float(std::string_view text) {
    if (is_leading_zero_digits(text)) return std::nullopt;
    const std::string_view unsigned_text = strip_plus(text);
    if (unsigned_text == ".inf" || unsigned_text == ".Inf" || unsigned_text == ".INF") {
        return std::numeric_limits<double>::infinity();
    }
    if (text == "-.inf" || text == "-.Inf" || text == "-.INF") return -std::numeric_limits<double>::infinity();
    if (text == ".nan" || text == ".NaN" || text == ".NAN") return std::numeric_limits<double>::quiet_NaN();
    if (!decimal_float_shape(text)) return std::nullopt;
    // from_chars takes no "+"; the shape check already allowed one.
    double value = 0;
    const auto result = std::from_chars(unsigned_text.data(), unsigned_text.data() + unsigned_text.size(), value);
    if (result.ec == std::errc::result_out_of_range) return underflow_or_nothing(unsigned_text);
    if (result.ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<bool> parse_bool(std::string_view text) {
    if (is_one_of(text, true_words)) return true;
    if (is_one_of(text, false_words)) return false;
    return std::nullopt;
}

bool is_null_spelling(std::string_view text) { return text.empty() || is_one_of(text, null_words); }

bool may_be_typed(std::string_view text) {
    return text.empty() || typed_starts[static_cast<unsigned char>(text[0])];
}

namespace {

// Decimal digits without a leading zero, at most 19 of them: the numbers
// manifests hold, which cannot overflow 64 bits. Nullopt for anything else,
// which the general way then decides.
std::optional<std::uint64_t> short_decimal(std::string_view text) {
    constexpr std::size_t safe_digits = std::numeric_limits<std::uint64_t>::digits10;  // 19
    if (text.empty() || text.size() > safe_digits || (text[0] == '0' && text.size() > 1)) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        const auto digit = static_cast<unsigned>(c - '0');
        if (digit > 9) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

std::optional<std::uint64_t> parse_unsigned(std::string_view text) {
    text = strip_plus(text);
    if (const auto value = short_decimal(text)) return value;
    const auto form = unsigned_form(text);
    if (!form) return std::nullopt;
    const auto value = accumulate(*form);
    if (!value || *value > std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}

bool is_leading_zero_digits(std::string_view text) {
    if (text.starts_with('+') || text.starts_with('-')) text.remove_prefix(1);
    if (text.size() < 2 || text[0] != '0') return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

PlainMeaning plain_meaning(std::string_view text) {
    if (!may_be_typed(text)) return PlainMeaning::String;
    if (is_null_spelling(text)) return PlainMeaning::Null;
    if (parse_bool(text)) return PlainMeaning::Boolean;
    if (parse_integer(text)) return PlainMeaning::Integer;
    // An integer beyond 128 bits has no number type to read as; as a float
    // it would show a rounded value the file never held.
    if (has_integer_form(text)) return PlainMeaning::String;
    if (parse_float(text)) return PlainMeaning::Float;
    return PlainMeaning::String;
}

std::string format_float(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // The shortest digits come only with an exponent ([-]d[.ddd]e(+|-)xx):
    // the fixed form prints a large binary value's exact digits instead,
    // 1e23 as 99999999999999991611392.
    char buffer[32];
    const char* begin = buffer;
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    const char* mark = std::find(begin, end, 'e');
    const char* exponent_start = mark[1] == '+' ? mark + 2 : mark + 1;
    int exponent = 0;
    std::from_chars(exponent_start, end, exponent);
    const bool negative = *begin == '-';
    std::string digits(begin + (negative ? 1 : 0), mark);
    std::erase(digits, '.');
    std::string out(negative ? "-" : "");
    out += without_exponent(digits, exponent);
    return out;
}

}  // namespace brintel::yaml
