#include "errors/escape.hpp"

#include <utf8proc.h>

#include <charconv>
#include <cstdint>

namespace brintel::errors {
namespace {

// Separators (but the plain space), controls, formats, surrogates, private
// use and unassigned code points have no glyph of their own.
bool printable(char32_t c) {
    if (c == ' ') return true;
    switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO:
    case UTF8PROC_CATEGORY_CN:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
    case UTF8PROC_CATEGORY_ZS:
        return false;
    default:
        return true;
    }
}

// The emoji skin tones: symbols with a glyph of their own after anything
// that is not an emoji.
bool is_emoji_modifier(char32_t c) { return c >= 0x1F3FB && c <= 0x1F3FF; }

// Grapheme_Extend. utf8proc has the grapheme-break class Extend instead,
// which is Grapheme_Extend plus the emoji modifiers.
bool is_grapheme_extend(char32_t c) {
    const auto* property = utf8proc_get_property(static_cast<utf8proc_int32_t>(c));
    return property->boundclass == UTF8PROC_BOUNDCLASS_EXTEND && !is_emoji_modifier(c);
}

// A combining mark shown bare would attach itself to the quotation mark or
// the previous character and hide.
bool needs_code_point(char32_t c) { return !printable(c) || is_grapheme_extend(c); }

void append_code_point_escape(std::string& out, std::uint32_t c) {
    char digits[8];
    auto end = std::to_chars(digits, digits + sizeof digits, c, 16).ptr;
    out += "\\u{";
    out.append(digits, end);
    out += '}';
}

void append_escaped(std::string& out, char32_t c, std::string_view raw) {
    switch (c) {
    case '\\': out += "\\\\"; return;
    case '"': out += "\\\""; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\0': out += "\\0"; return;
    default: break;
    }
    if (needs_code_point(c)) append_code_point_escape(out, static_cast<std::uint32_t>(c));
    else out += raw;
}

}  // namespace

std::string quote_escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    std::size_t i = 0;
    while (i < text.size()) {
        utf8proc_int32_t c = 0;
        auto length = utf8proc_iterate(bytes + i, static_cast<utf8proc_ssize_t>(text.size() - i), &c);
        // An invalid byte (none comes from our callers) is judged as U+FFFD,
        // which is printable, so it passes through raw.
        if (length < 0) {
            c = 0xFFFD;
            length = 1;
        }
        const auto size = static_cast<std::size_t>(length);
        append_escaped(out, static_cast<char32_t>(c), text.substr(i, size));
        i += size;
    }
    out += '"';
    return out;
}

}  // namespace brintel::errors
