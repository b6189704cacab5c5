#include "cli/suppress.hpp"

#include "yaml/positions.hpp"

#include <algorithm>
#include <optional>

namespace brintel::cli {
namespace {

constexpr std::string_view directive = "brintel-config:";
constexpr std::string_view ignore_open = "ignore[";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

// The index after the quoted scalar that opens at `at`, or nothing when it
// goes on past the line.
std::optional<std::size_t> after_quoted(std::string_view line, std::size_t at) {
    const char quote = line[at];
    for (std::size_t i = at + 1; i < line.size(); ++i) {
        if (quote == '"' && line[i] == '\\') {
            ++i;
        } else if (line[i] == quote) {
            if (quote == '\'' && i + 1 < line.size() && line[i + 1] == '\'') {
                ++i;  // '' stands for one quotation mark
                continue;
            }
            return i + 1;
        }
    }
    return std::nullopt;
}

// The text of the comment that ends `line`, looking from the token at
// `from` on: quoted scalars are stepped over, and "#" after a blank starts
// a comment. Nothing when there is none, or when a quoted scalar runs on to
// the next line.
std::optional<std::string_view> comment(std::string_view line, std::size_t from) {
    for (std::size_t i = from; i < line.size(); ++i) {
        const bool after_blank = i == 0 || is_blank(line[i - 1]);
        const bool token_start = i == from || after_blank || line[i - 1] == '[' || line[i - 1] == '{' ||
                                 line[i - 1] == ',';
        if ((line[i] == '\'' || line[i] == '"') && token_start) {
            const std::optional<std::size_t> end = after_quoted(line, i);
            if (!end) return std::nullopt;
            i = *end - 1;
        } else if (line[i] == '#' && after_blank) {
            return line.substr(i + 1);
        }
    }
    return std::nullopt;
}

// Whether `comment` is a suppression that names `rule`.
bool names_rule(std::string_view comment, Rule rule) {
    comment = trim_blanks(comment);
    if (!comment.starts_with(directive)) return false;
    comment = trim_blanks(comment.substr(directive.size()));
    if (!comment.starts_with(ignore_open)) return false;
    comment.remove_prefix(ignore_open.size());
    const std::size_t close = comment.find(']');
    if (close == std::string_view::npos) return false;
    std::string_view names = comment.substr(0, close);
    while (!names.empty()) {
        const std::size_t comma = std::min(names.find(','), names.size());
        if (rule_named(trim_blanks(names.substr(0, comma))) == rule) return true;
        names.remove_prefix(std::min(comma + 1, names.size()));
    }
    return false;
}

bool ignored(const Finding& finding, const yaml::Lines& lines) {
    if (finding.severity() != Severity::Warning) return false;
    const std::string_view line = lines.line(static_cast<std::uint32_t>(finding.line - 1));
    const std::string_view rest = yaml::from_column(line, static_cast<std::uint32_t>(finding.column - 1));
    const std::optional<std::string_view> text = comment(line, line.size() - rest.size());
    return text && names_rule(*text, finding.rule);
}

}  // namespace

std::size_t drop_ignored(std::vector<Finding>& findings, std::string_view text) {
    if (std::ranges::none_of(findings, [](const Finding& f) { return f.severity() == Severity::Warning; })) return 0;
    const yaml::Lines lines(text);
    return std::erase_if(findings, [&](const Finding& finding) { return ignored(finding, lines); });
}

}  // namespace brintel::cli
