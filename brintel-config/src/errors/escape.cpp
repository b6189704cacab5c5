#include "escape.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <charconv>
#include <cstdint>

namespace brintel::errors {
namespace {

// Separators (but the plain space), controls, formats, surrogates, private
// use and unassigned code points have no glyph of their own.
bool printable(UChar32 c) {
    if (c == ' ') return true;
    switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SPACE_SEPARATOR:
        return false;
    default:
        return true;
    }
}

// A combining mark shown bare would attach itself to the quotation mark or
// the previous character and hide.
bool needs_code_point(UChar32 c) {
    return !printable(c) || u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND);
}

void append_code_point_escape(std::string& out, std::uint32_t c) {
    char digits[8];
    auto end = std::to_chars(digits, digits + sizeof digits, c, 16).ptr;
    out += "\\u{";
    out.append(digits, end);
    out += '}';
}

void append_escaped(std::string& out, UChar32 c, std::string_view raw) {
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

std::string debug_quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t i = 0;
    while (i < length) {
        const std::int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        // An invalid sequence (none comes from our callers) is judged as U+FFFD,
        // which is printable, so its bytes pass through raw.
        if (c < 0) c = 0xFFFD;
        append_escaped(out, c, text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
    out += '"';
    return out;
}

}  // namespace brintel::errors
