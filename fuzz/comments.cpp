// The comments that suppressions are read from, against libyaml's own
// tokens: every comment found starts with "#" and runs to the end of its
// line, and blanking the text of them all (the "#" kept, as a comment ends
// a plain scalar) leaves libyaml's tokens and the document's scalars as
// they were. Reading the suppressions in them never fails.
#include "cli/comments.hpp"
#include "cli/suppress.hpp"

#include "yaml/utf8.hpp"
#include "yaml/document.hpp"
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

// The first document's events and scalar texts.
bool same_scalars(std::string_view a, std::string_view b) {
    const yaml::Loaded x = yaml::load_first_document(a);
    const yaml::Loaded y = yaml::load_first_document(b);
    if (x.document.events.size() != y.document.events.size()) return false;
    for (std::size_t i = 0; i < x.document.events.size(); ++i) {
        const yaml::Event& e = x.document.events[i];
        const yaml::Event& f = y.document.events[i];
        if (e.kind != f.kind) return false;
        if (e.kind == yaml::EventKind::Scalar && x.document.scalar(e) != y.document.scalar(f)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (yaml::utf8_prefix(text) != text.size()) return 0;  // the command reads UTF-8 only
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
        blanked.replace(offset + 1, from.size() - 1, from.size() - 1, ' ');
    }
    if (!tokens.complete) return 0;  // past a scanner error, what follows is not looked at
    expect(same_tokens(tokens, yaml::scan_tokens(blanked)), "blanking the comments changed the tokens");
    expect(same_scalars(text, blanked), "blanking the comments changed a scalar");
    return 0;
}
