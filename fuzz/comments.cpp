// The comments that suppressions are read from, against libyaml's own
// tokens: every comment found starts with "#" outside every token, runs to
// the end of its line, and blanking them all leaves the tokens as they were
// with no "#" left between them. Reading the suppressions in them never
// fails.
#include "cli/comments.hpp"
#include "cli/suppress.hpp"

#include "schema/manifest/utf8.hpp"
#include "yaml/positions.hpp"
#include "yaml/tokens.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace brintel;

void expect(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "comments: %s\n", what);
    std::abort();
}

bool same_tokens(const yaml::Tokens& a, const yaml::Tokens& b) {
    if (a.complete != b.complete || a.tokens.size() != b.tokens.size()) return false;
    for (std::size_t i = 0; i < a.tokens.size(); ++i) {
        const yaml::Token& x = a.tokens[i];
        const yaml::Token& y = b.tokens[i];
        const bool same = x.kind == y.kind && x.start.line == y.start.line && x.start.column == y.start.column &&
                          x.end.line == y.end.line && x.end.column == y.end.column;
        if (!same) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (schema::utf8_prefix(text) != text.size()) return 0;  // the command reads UTF-8 only
    const yaml::Tokens tokens = yaml::scan_tokens(text);
    const std::vector<cli::Comment> found = cli::comments(text, tokens);
    (void)cli::suppressions(found);
    std::string blanked(text);
    const yaml::Lines lines(text);
    for (const cli::Comment& comment : found) {
        const std::string_view line = lines.line(comment.at.line);
        const std::string_view from = yaml::from_column(line, comment.at.column);
        expect(from.starts_with('#'), "a comment does not start with #");
        expect(from.substr(1) == comment.text, "a comment does not run to the end of its line");
        const auto offset = static_cast<std::size_t>(from.data() - text.data());
        blanked.replace(offset, from.size(), from.size(), ' ');
    }
    if (!tokens.complete) return 0;  // past a scanner error, what follows is not looked at
    const yaml::Tokens again = yaml::scan_tokens(blanked);
    expect(same_tokens(tokens, again), "blanking the comments changed the tokens");
    expect(cli::comments(blanked, again).empty(), "a # between tokens was not taken for a comment");
    return 0;
}
