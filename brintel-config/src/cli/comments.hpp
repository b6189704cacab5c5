// The comments of a YAML text: the runs from "#" to the end of a line that
// lie between libyaml's tokens. Quoting, flow collections and block scalars
// are the scanner's business, not guessed at here.
#pragma once

#include "yaml/document.hpp"
#include "yaml/tokens.hpp"

#include <string_view>
#include <vector>

namespace brintel::cli {

struct Comment {
    yaml::Mark at;          // of its "#"
    std::string_view text;  // after the "#", to the end of its line
};

// In order; none past a point where the scanner stopped at an error.
std::vector<Comment> comments(std::string_view text, const yaml::Tokens& tokens);

// Whether `text` may hold a comment that starts with `word` (after blanks,
// in any case of ASCII letters): false spares the scan of tokens.
bool may_hold_comment_starting(std::string_view text, std::string_view word);

}  // namespace brintel::cli
