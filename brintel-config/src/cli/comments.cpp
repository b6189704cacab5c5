#include "cli/comments.hpp"

#include "yaml/positions.hpp"

#include <algorithm>
#include <cstring>

namespace brintel::cli {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool before(yaml::Mark a, yaml::Mark b) { return a.line < b.line || (a.line == b.line && a.column < b.column); }

std::uint32_t columns(std::string_view text) {
    return static_cast<std::uint32_t>(
        std::ranges::count_if(text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The comment on each line of the text between `from` and `to`.
void comments_between(const yaml::Lines& lines, yaml::Mark from, yaml::Mark to, std::vector<Comment>& out) {
    for (std::uint32_t index = from.line; index <= to.line; ++index) {
        const std::string_view line = lines.line(index);
        const std::size_t begin = index == from.line ? line.size() - yaml::from_column(line, from.column).size() : 0;
        const std::size_t end = index == to.line ? line.size() - yaml::from_column(line, to.column).size() : line.size();
        if (begin >= end) continue;
        const std::size_t hash = line.substr(begin, end - begin).find('#');
        if (hash == std::string_view::npos) continue;
        out.push_back({{index, columns(line.substr(0, begin + hash))}, line.substr(begin + hash + 1, end - begin - hash - 1)});
    }
}

}  // namespace

std::vector<Comment> comments(std::string_view text, const yaml::Tokens& tokens) {
    std::vector<Comment> out;
    const yaml::Lines lines(text);
    yaml::Mark covered;  // the end of the tokens so far
    for (const yaml::Token& token : tokens.tokens) {
        if (before(covered, token.start)) comments_between(lines, covered, token.start, out);
        if (before(covered, token.end)) covered = token.end;
    }
    return out;
}

bool may_hold_comment_starting(std::string_view text, std::string_view word) {
    for (const char* hash = static_cast<const char*>(std::memchr(text.data(), '#', text.size())); hash;) {
        std::string_view rest = text.substr(static_cast<std::size_t>(hash - text.data()) + 1);
        while (!rest.empty() && is_blank(rest.front())) rest.remove_prefix(1);
        const bool starts = rest.size() >= word.size() &&
                            std::ranges::equal(rest.substr(0, word.size()), word,
                                               [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
        if (starts) return true;
        hash = static_cast<const char*>(std::memchr(rest.data(), '#', rest.size()));
    }
    return false;
}

}  // namespace brintel::cli
