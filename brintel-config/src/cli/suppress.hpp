// Suppressing warnings with comments. "# brintel-config: ignore[RULE,...]"
// suppresses the warnings of those rules on its line, and
// "# brintel-config: ignore-file[RULE,...]" in the whole file. Only
// warnings can be suppressed: reading or validation refuses what an error
// points at. A comment that tries and fails, and one that suppresses
// nothing, are findings of their own.
#pragma once

#include "cli/comments.hpp"
#include "cli/lint.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::cli {

enum class Reach : std::uint8_t { Line, File };

// A rule that a well-formed suppression names.
struct NamedRule {
    Rule rule;
    yaml::Mark at;  // where its name stands
    std::uint32_t width;
    bool used = false;
};

// Why a suppression comment does not work as written.
struct Flaw {
    yaml::Mark at;
    std::uint32_t width;
    std::string message;
};

struct Suppression {
    Reach reach;
    yaml::Mark at;  // of the comment's "#"
    std::vector<NamedRule> rules;
    std::vector<Flaw> flaws;
};

// The suppressions among `comments`: those that start "brintel-config:"
// in any case of letters.
std::vector<Suppression> suppressions(const std::vector<Comment>& comments);

// Whether `text` may hold a suppression at all.
bool may_hold_suppressions(std::string_view text);

// Removes the warnings that `suppressions` suppress, marking what they
// used, then adds the findings about the suppressions themselves, which
// suppressions may suppress in turn. Returns how many were suppressed.
std::size_t suppress(std::vector<Finding>& findings, std::vector<Suppression>& suppressions);

struct SuppressionSite {
    const std::vector<Suppression>& suppressions;
};

}  // namespace brintel::cli
