#include "json.hpp"

#include "schema/export.hpp"

#include <array>
#include <charconv>
#include <concepts>
#include <cstdint>

namespace brintel::cli {
namespace {

// The short escapes JSON has; other control characters become \u00XX.
char short_escape(char c) {
    switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return 0;
    }
}

void append_unicode_escape(std::string& out, unsigned char c) {
    constexpr std::string_view hex = "0123456789abcdef";
    out += "\\u00";
    out += hex[c >> 4];
    out += hex[c & 0xF];
}

void append_integer(std::string& out, std::unsigned_integral auto value) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), end);
}

void append_value(std::string& out, const std::string& text) { append_json_string(out, text); }
void append_value(std::string& out, std::uint32_t value) { append_integer(out, value); }
void append_value(std::string& out, std::uint64_t value) { append_integer(out, value); }

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (const char escape = short_escape(c)) {
            out += '\\';
            out += escape;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            append_unicode_escape(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string exported_json(const schema::ReaderConfig& reader) {
    std::string out = "{";
    const char* separator = "\n  ";
    schema::for_each_exported(reader, [&](std::string_view name, const auto& value) {
        out += separator;
        separator = ",\n  ";
        append_json_string(out, name);
        out += ": ";
        append_value(out, value);
    });
    out += "\n}\n";
    return out;
}

}  // namespace brintel::cli
