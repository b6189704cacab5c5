#pragma once

#include <string_view>

namespace brintel::schema {

// Well-formed UTF-8: no stray continuation bytes, overlong forms,
// surrogates or code points beyond U+10FFFF.
bool is_valid_utf8(std::string_view text);

}  // namespace brintel::schema
