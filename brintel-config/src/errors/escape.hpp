// Text quoted for people: the form in which error messages show a string.
#pragma once

#include <string>
#include <string_view>

namespace brintel::errors {

// `text` between double quotation marks, with backslash, double quotation
// mark, line feed, carriage return, tab and NUL escaped by a backslash, and
// every other character that is not printable, or is a combining mark,
// written as \u{hex}. `text` is valid UTF-8.
std::string quote_escaped(std::string_view text);

}  // namespace brintel::errors
