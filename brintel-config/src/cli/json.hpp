// JSON text for the shell command's output.
#pragma once

#include "schema/records.hpp"

#include <string>
#include <string_view>

namespace brintel::cli {

// `text` (valid UTF-8) as a JSON string: quotation mark, backslash and the
// control characters escaped, everything else passed through.
void append_json_string(std::string& out, std::string_view text);

// The reader's exported entries as a JSON object, one entry per line,
// followed by a line feed.
std::string exported_json(const schema::ReaderConfig& reader);

}  // namespace brintel::cli
