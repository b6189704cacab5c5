#include "yaml/positions.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace brintel::yaml {
namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

bool starts_character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

// The length of the line break at `at`, 0 when there is none.
std::size_t break_length(std::string_view text, std::size_t at) {
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("\r\n")) return 2;
    if (rest.starts_with('\r') || rest.starts_with('\n')) return 1;
    if (rest.starts_with("\xC2\x85")) return 2;                                // NEL
    if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9")) return 3;  // LS, PS
    return 0;
}

std::size_t first_column(std::string_view text) {
    return text.starts_with(byte_order_mark) ? byte_order_mark.size() : 0;
}

std::uint64_t word_at(std::string_view text, std::size_t at) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    return word;
}

}  // namespace

std::size_t first_non_ascii(std::string_view text, std::size_t at) {
    // Manifests are mostly ASCII, so this runs over whole texts: 32 bytes a
    // step, as four words whose high bits are tested together.
    constexpr std::uint64_t high_bits = 0x8080808080808080ull;
    for (; at + 32 <= text.size(); at += 32) {
        const std::uint64_t any = word_at(text, at) | word_at(text, at + 8) | word_at(text, at + 16) |
                                  word_at(text, at + 24);
        if (any & high_bits) break;
    }
    while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80) ++at;
    return at;
}

Mark mark_at(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    Mark mark;
    std::size_t at = first_column(text);
    while (at < offset) {
        if (const std::size_t length = break_length(text, at)) {
            ++mark.line;
            mark.column = 0;
            at += length;
            continue;
        }
        if (starts_character(text[at])) ++mark.column;
        ++at;
    }
    return mark;
}

Lines::Lines(std::string_view text) : text_(text) {
    std::size_t start = first_column(text);
    std::size_t at = start;
    while (at < text.size()) {
        if (const std::size_t length = break_length(text, at)) {
            lines_.push_back({start, at});
            at += length;
            start = at;
        } else {
            ++at;
        }
    }
    lines_.push_back({start, text.size()});
}

std::string_view Lines::line(std::uint32_t index) const {
    if (index >= lines_.size()) return {};
    const Bounds bounds = lines_[index];
    return text_.substr(bounds.start, bounds.end - bounds.start);
}

std::string_view from_column(std::string_view line, std::uint32_t column) {
    std::size_t at = 0;
    for (std::uint32_t passed = 0; at < line.size() && passed < column; ++passed) {
        do ++at;
        while (at < line.size() && !starts_character(line[at]));
    }
    return line.substr(at);
}

}  // namespace brintel::yaml
