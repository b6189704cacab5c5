// Ignoring warnings on a line: a comment "# brintel-config: ignore[RULE,...]"
// at the end of the line. Only warnings can be ignored; an error stays,
// since reading or validation refuses what it points at.
#pragma once

#include "cli/lint.hpp"

#include <cstddef>
#include <string_view>
#include <vector>

namespace brintel::cli {

// Removes the warnings whose rule a comment on their line names, given the
// manifest's text; returns how many.
std::size_t drop_ignored(std::vector<Finding>& findings, std::string_view text);

}  // namespace brintel::cli
