// How much of a text is UTF-8: what libyaml reads, and what the command
// takes as a manifest or writes into JSON, must be.
#pragma once

#include <cstddef>
#include <string_view>

namespace brintel::yaml {

// The length of the longest prefix of `text` that is well-formed UTF-8: no
// stray continuation bytes, overlong forms, surrogates or code points beyond
// U+10FFFF.
std::size_t utf8_prefix(std::string_view text);

}  // namespace brintel::yaml
