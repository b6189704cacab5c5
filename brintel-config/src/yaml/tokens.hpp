// Where libyaml's scanner finds the tokens of a text: what lies between
// them is blanks, line breaks and comments, and a scalar's or a flow
// collection's tokens tell where it ends. Positions only; the events of
// document.hpp carry the contents.
#pragma once

#include "yaml/document.hpp"

#include <cstdint>
#include <string_view>
#include <vector>

namespace brintel::yaml {

enum class TokenKind : std::uint8_t {
    Node,       // a scalar or an alias
    Property,   // an anchor or a tag, before its node
    FlowStart,  // [ or {
    FlowEnd,    // ] or }
    Opening,    // where a block collection or a key begins, before its first token
    Other,      // indicators, block ends, directives, document and stream bounds
};

struct Token {
    Mark start;
    Mark end;  // just after it
    TokenKind kind;
};

struct Tokens {
    std::vector<Token> tokens;  // in the order scanned, which is that of their starts
    bool complete = false;      // the scanner reached the end of the text; else it stopped at an error
};

Tokens scan_tokens(std::string_view text);

}  // namespace brintel::yaml
