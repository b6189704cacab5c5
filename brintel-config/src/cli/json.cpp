#include "cli/json.hpp"

#include "yaml/utf8.hpp"

#include <array>
#include <charconv>
#include <type_traits>

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

// \u<high><c>: \u00XX for a control character, \udcXX for a stray byte.
void append_unicode_escape(std::string& out, std::string_view high, unsigned char c) {
    constexpr std::string_view hex = "0123456789abcdef";
    out.append("\\u").append(high);
    out += hex[c >> 4];
    out += hex[c & 0xF];
}

void append_escaped_utf8(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (const char escape = short_escape(c)) {
            out += '\\';
            out += escape;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            append_unicode_escape(out, "00", static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    for (;;) {
        const std::size_t valid = yaml::utf8_prefix(text);
        append_escaped_utf8(out, text.substr(0, valid));
        if (valid == text.size()) break;
        append_unicode_escape(out, "dc", static_cast<unsigned char>(text[valid]));
        text.remove_prefix(valid + 1);
    }
    out += '"';
}

void JsonWriter::new_line() {
    out_ += '\n';
    out_.append(2 * has_items_.size(), ' ');
}

// A value inside an array starts on a line of its own, after a comma when
// it is not the first; inside an object, key() has done that.
void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (has_items_.empty()) return;
    if (has_items_.back()) out_ += ',';
    has_items_.back() = true;
    new_line();
}

void JsonWriter::key(std::string_view name) {
    before_value();
    append_json_string(out_, name);
    out_ += ": ";
    after_key_ = true;
}

void JsonWriter::open(char bracket) {
    before_value();
    out_ += bracket;
    has_items_.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool had_items = has_items_.back();
    has_items_.pop_back();
    if (had_items) new_line();
    out_ += bracket;
}

void JsonWriter::string(std::string_view text) {
    before_value();
    append_json_string(out_, text);
}

void JsonWriter::number(std::uint64_t value) {
    before_value();
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out_.append(digits.data(), end);
}

void JsonWriter::boolean(bool value) {
    before_value();
    out_ += value ? "true" : "false";
}

void JsonWriter::null() {
    before_value();
    out_ += "null";
}

void JsonWriter::strings(const std::vector<std::string_view>& texts) {
    before_value();
    out_ += '[';
    const char* separator = "";
    for (const std::string_view text : texts) {
        out_ += separator;
        append_json_string(out_, text);
        separator = ", ";
    }
    out_ += ']';
}

std::string reader_json(const schema::ReaderConfig& reader) {
    std::string out;
    JsonWriter json(out);
    json.begin_object();
    schema::for_each_field<schema::ReaderConfig>([&](const auto& field) {
        using Field = std::remove_cvref_t<decltype(field)>;
        const auto& value = field.of(reader);
        if constexpr (Field::optional) {
            if (value) json.member(field.key(), *value);
            else json.member(field.key(), nullptr);
        } else {
            json.member(field.key(), value);
        }
    });
    json.end_object();
    out += '\n';
    return out;
}

}  // namespace brintel::cli
