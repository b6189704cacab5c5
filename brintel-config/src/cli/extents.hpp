// Where the keys and values that findings stand at end.
#pragma once

#include "cli/lint.hpp"

#include "yaml/tokens.hpp"

#include <vector>

namespace brintel::cli {

// Sets `end` of every finding whose extent is known and whose start is a
// token's: just after the scalar or alias there, or after the bracket that
// closes the flow collection there.
void add_ends(std::vector<Finding>& findings, const yaml::Tokens& tokens);

}  // namespace brintel::cli
