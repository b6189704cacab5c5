#include "cli/extents.hpp"

#include <algorithm>

namespace brintel::cli {
namespace {

using yaml::Token;
using yaml::TokenKind;

bool before(yaml::Mark a, yaml::Mark b) { return a.line < b.line || (a.line == b.line && a.column < b.column); }

// For each flow start, the index of the token that closes it.
std::vector<std::size_t> closing_tokens(const std::vector<Token>& tokens) {
    std::vector<std::size_t> closing(tokens.size(), tokens.size());
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == TokenKind::FlowStart) open.push_back(i);
        if (tokens[i].kind == TokenKind::FlowEnd && !open.empty()) {
            closing[open.back()] = i;
            open.pop_back();
        }
    }
    return closing;
}

// The end of what starts at `start`: the first token there that is not an
// opening or a property must be the node, or the flow start, expected.
std::optional<yaml::Mark> end_at(yaml::Mark start, Extent extent, const std::vector<Token>& tokens,
                                 const std::vector<std::size_t>& closing) {
    auto at = std::ranges::lower_bound(tokens, start, before, &Token::start);
    if (at == tokens.end() || before(start, at->start)) return std::nullopt;
    while (at != tokens.end() && (at->kind == TokenKind::Opening || at->kind == TokenKind::Property)) ++at;
    if (at == tokens.end()) return std::nullopt;
    if (extent == Extent::Node && at->kind == TokenKind::Node) return at->end;
    if (extent != Extent::Flow || at->kind != TokenKind::FlowStart) return std::nullopt;
    const std::size_t close = closing[static_cast<std::size_t>(at - tokens.begin())];
    if (close == tokens.size()) return std::nullopt;
    return tokens[close].end;
}

}  // namespace

void add_ends(std::vector<Finding>& findings, const yaml::Tokens& tokens) {
    const std::vector<std::size_t> closing = closing_tokens(tokens.tokens);
    for (Finding& finding : findings) {
        if (finding.extent == Extent::None || finding.end) continue;
        const yaml::Mark start{static_cast<std::uint32_t>(finding.line - 1), static_cast<std::uint32_t>(finding.column - 1)};
        if (const auto end = end_at(start, finding.extent, tokens.tokens, closing)) {
            finding.end = Position{std::uint64_t{end->line} + 1, std::uint64_t{end->column} + 1};
        }
    }
}

}  // namespace brintel::cli
