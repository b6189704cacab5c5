#include "cli/rules.hpp"

#include <algorithm>

namespace brintel::cli {

std::optional<Rule> rule_named(std::string_view name) {
    const auto found = std::ranges::find(rules, name, &RuleInfo::name);
    if (found == rules.end()) return std::nullopt;
    return found->rule;
}

RuleSet default_rules() {
    RuleSet set;
    for (const RuleInfo& rule : rules) set[static_cast<std::size_t>(rule.rule)] = rule.by_default;
    return set;
}

}  // namespace brintel::cli
