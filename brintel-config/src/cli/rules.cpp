#include "cli/rules.hpp"

#include <algorithm>

namespace brintel::cli {

std::optional<Rule> rule_named(std::string_view name) {
    const auto found = std::ranges::find(rules, name, &RuleInfo::name);
    if (found == rules.end()) return std::nullopt;
    return found->rule;
}

}  // namespace brintel::cli
