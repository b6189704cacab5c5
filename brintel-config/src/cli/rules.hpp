// The rules of `check`: every finding names one, by which operators filter
// findings and ignore warnings on a line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace brintel::cli {

enum class Severity : std::uint8_t { Error, Warning };

constexpr std::string_view severity_name(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

// In the order of `rules` below.
enum class Rule : std::uint8_t {
    Unreadable,
    Syntax,
    NoProductKey,
    WrongType,
    MissingField,
    DuplicateField,
    Validation,
    UnknownKey,
    DuplicateKey,
    MergeKey,
};

struct RuleInfo {
    Rule rule;
    std::string_view name;
    Severity severity;
    std::string_view summary;  // for the command's help
};

inline constexpr std::array rules = {
    RuleInfo{Rule::Unreadable, "unreadable", Severity::Error,
             "the file cannot be read or is not UTF-8 (exit status 2)"},
    RuleInfo{Rule::Syntax, "syntax", Severity::Error,
             "not a YAML document that reading takes (syntax, anchors, nesting, size, several documents)"},
    RuleInfo{Rule::NoProductKey, "no-product-key", Severity::Error, "no brintel entry"},
    RuleInfo{Rule::WrongType, "wrong-type", Severity::Error, "a value, key or record of the wrong type or range"},
    RuleInfo{Rule::MissingField, "missing-field", Severity::Error, "a required setting is absent"},
    RuleInfo{Rule::DuplicateField, "duplicate-field", Severity::Error, "a setting given twice in one record"},
    RuleInfo{Rule::Validation, "validation", Severity::Error, "a reader fails ReaderConfig.validate()"},
    RuleInfo{Rule::UnknownKey, "unknown-key", Severity::Warning, "a key that no setting has, which reading ignores"},
    RuleInfo{Rule::DuplicateKey, "duplicate-key", Severity::Warning,
             "a reader id or the brintel entry given twice: only the later one is read"},
    RuleInfo{Rule::MergeKey, "merge-key", Severity::Warning, "a merge key (<<), which reading does not apply"},
};

consteval bool rules_in_enum_order() {
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (static_cast<std::size_t>(rules[i].rule) != i) return false;
    }
    return static_cast<std::size_t>(Rule::MergeKey) + 1 == rules.size();
}
static_assert(rules_in_enum_order(), "one entry per Rule, in the enum's order");

constexpr const RuleInfo& info(Rule rule) { return rules[static_cast<std::size_t>(rule)]; }

std::optional<Rule> rule_named(std::string_view name);

}  // namespace brintel::cli
