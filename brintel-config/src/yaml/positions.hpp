// Positions in a YAML text counted as libyaml counts them, for what libyaml
// locates by byte offset only and for finding what stands on a line: a line
// ends at LF, CR, CR LF, NEL, LS or PS; a column is one character; a
// byte-order mark at the start of the text takes no column.
#pragma once

#include "yaml/document.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace brintel::yaml {

// The offset of the first byte at or after `from` that is not ASCII; the
// text's size when there is none.
std::size_t first_non_ascii(std::string_view text, std::size_t from = 0);

// The position of the byte at `offset` (at most the text's size); the text
// before it is UTF-8.
Mark mark_at(std::string_view text, std::size_t offset);

// The lines of a text, found once.
class Lines {
public:
    explicit Lines(std::string_view text);

    // Line `index` (from 0) without its line break; empty past the last.
    std::string_view line(std::uint32_t index) const;

private:
    struct Bounds {
        std::size_t start;
        std::size_t end;  // where its line break starts
    };
    std::string_view text_;
    std::vector<Bounds> lines_;
};

// What follows the first `column` characters of `line`.
std::string_view from_column(std::string_view line, std::uint32_t column);

}  // namespace brintel::yaml
