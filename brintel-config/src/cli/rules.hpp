// The rules of `check`: every finding names one, by which operators select
// findings and ignore warnings. A rule is one row of `rules`: its name, its
// severity, the detector that finds it, and two manifests, one that it
// reports and one that it does not, which the tests run.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

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
    BadSuppression,
    UnusedSuppression,
};

// What a detector is shown (sites.hpp): a file whose text cannot be had, a
// refusal of reading, a mapping the walk examines, a reader that reads,
// the suppression comments once they have been applied.
struct FileSite;
struct RefusalSite;
struct MappingSite;
struct ReaderSite;
struct SuppressionSite;
class Report;

using Detector = std::variant<void (*)(const FileSite&, Report&), void (*)(const RefusalSite&, Report&),
                              void (*)(const MappingSite&, Report&), void (*)(const ReaderSite&, Report&),
                              void (*)(const SuppressionSite&, Report&)>;

// The detectors, one per rule, in detect_*.cpp and suppress.cpp.
void detect_unreadable(const FileSite& site, Report& report);
void detect_syntax(const RefusalSite& site, Report& report);
void detect_no_product_key(const MappingSite& site, Report& report);
void detect_wrong_type(const RefusalSite& site, Report& report);
void detect_missing_field(const RefusalSite& site, Report& report);
void detect_duplicate_field(const RefusalSite& site, Report& report);
void detect_validation(const ReaderSite& site, Report& report);
void detect_unknown_key(const MappingSite& site, Report& report);
void detect_duplicate_key(const MappingSite& site, Report& report);
void detect_merge_key(const MappingSite& site, Report& report);
void detect_bad_suppression(const SuppressionSite& site, Report& report);
void detect_unused_suppression(const SuppressionSite& site, Report& report);

struct RuleInfo {
    Rule rule;
    std::string_view name;
    Severity severity;
    bool by_default;           // reported unless deselected; the others only when selected
    std::string_view summary;  // one line, for the command's help
    Detector detector;
    std::string_view example;  // a manifest that this rule, and no other, reports
    std::string_view fixed;    // the same put right: no rule reports it
};

namespace fixture {

inline constexpr std::string_view sound =
    "brintel:\n  server_config: {}\n  readers_config:\n    r1: {model_name: m, device: cuda, consumer_group: g}\n";
// An unknown key that a comment ignores.
inline constexpr std::string_view suppressed =
    "brintel:\n  server_config: {colour: red}  # brintel-config: ignore[unknown-key]\n  readers_config: {}\n";

}  // namespace fixture

inline constexpr std::array rules = {
    RuleInfo{Rule::Unreadable, "unreadable", Severity::Error, true,
             "the file cannot be read or is not UTF-8 (exit status 2)", detect_unreadable,
             "brintel:\n  server_config: {}\n  readers_config:\n    r1: {model_name: caf\xe9}\n", fixture::sound},
    RuleInfo{Rule::Syntax, "syntax", Severity::Error, true,
             "not a YAML document that reading takes (syntax, anchors, nesting, size, several documents)",
             detect_syntax, "brintel:\n  server_config: {}\n  readers_config: {}\n bad: x\n",
             "brintel:\n  server_config: {}\n  readers_config: {}\n"},
    RuleInfo{Rule::NoProductKey, "no-product-key", Severity::Error, true,
             "no brintel entry; a top-level key close to it is offered", detect_no_product_key,
             "brintl:\n  server_config: {}\n  readers_config: {}\n",
             "brintel:\n  server_config: {}\n  readers_config: {}\n"},
    RuleInfo{Rule::WrongType, "wrong-type", Severity::Error, true, "a value, key or record of the wrong type or range",
             detect_wrong_type, "brintel:\n  server_config: {port: 70000}\n  readers_config: {}\n",
             "brintel:\n  server_config: {port: 7000}\n  readers_config: {}\n"},
    RuleInfo{Rule::MissingField, "missing-field", Severity::Error, true, "a required setting is absent",
             detect_missing_field,
             "brintel:\n  server_config: {}\n  readers_config:\n    r1: {model_name: m, device: cuda}\n", fixture::sound},
    RuleInfo{Rule::DuplicateField, "duplicate-field", Severity::Error, true, "a setting given twice in one record",
             detect_duplicate_field,
             "brintel:\n  server_config: {}\n  readers_config:\n"
             "    r1: {model_name: m, device: cuda, consumer_group: g, device: cpu}\n",
             fixture::sound},
    RuleInfo{Rule::Validation, "validation", Severity::Error, true, "a reader fails ReaderConfig.validate()",
             detect_validation,
             "brintel:\n  server_config: {}\n  readers_config:\n    r1: {model_name: m, device: gpu, consumer_group: g}\n",
             fixture::sound},
    RuleInfo{Rule::UnknownKey, "unknown-key", Severity::Warning, true,
             "a key that no setting has, which reading ignores", detect_unknown_key,
             "brintel:\n  server_config: {}\n  readers_config:\n"
             "    r1: {model_name: m, device: cuda, consumer_group: g, tensor_paralel: 2}\n",
             "brintel:\n  server_config: {}\n  readers_config:\n"
             "    r1: {model_name: m, device: cuda, consumer_group: g, tensor_parallel: 2}\n"},
    RuleInfo{Rule::DuplicateKey, "duplicate-key", Severity::Warning, true,
             "a key given twice in a mapping: of reader ids and top-level entries only the later one is read",
             detect_duplicate_key,
             "brintel:\n  server_config: {}\n  readers_config:\n"
             "    r1: {model_name: m, device: cuda, consumer_group: g}\n"
             "    r1: {model_name: n, device: cuda, consumer_group: g}\n",
             "brintel:\n  server_config: {}\n  readers_config:\n"
             "    r1: {model_name: m, device: cuda, consumer_group: g}\n"
             "    r2: {model_name: n, device: cuda, consumer_group: g}\n"},
    RuleInfo{Rule::MergeKey, "merge-key", Severity::Warning, true, "a merge key (<<), which reading does not apply",
             detect_merge_key,
             "brintel:\n  server_config: {}\n  readers_config:\n"
             "    r1: {model_name: m, device: cuda, consumer_group: g, <<: {backend: vllm}}\n",
             "brintel:\n  server_config: {}\n  readers_config:\n"
             "    r1: {model_name: m, device: cuda, consumer_group: g, backend: vllm}\n"},
    RuleInfo{Rule::BadSuppression, "bad-suppression", Severity::Warning, true,
             "a suppression comment that names no rule, an unknown rule or an error", detect_bad_suppression,
             "brintel:  # brintel-config: ignore[unknown_key]\n  server_config: {}\n  readers_config: {}\n",
             fixture::suppressed},
    RuleInfo{Rule::UnusedSuppression, "unused-suppression", Severity::Warning, false,
             "a suppression comment that suppresses nothing (only when selected)", detect_unused_suppression,
             "brintel:\n  server_config: {}  # brintel-config: ignore[unknown-key]\n  readers_config: {}\n",
             fixture::suppressed},
};

consteval bool rules_in_enum_order() {
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (static_cast<std::size_t>(rules[i].rule) != i) return false;
    }
    return static_cast<std::size_t>(Rule::UnusedSuppression) + 1 == rules.size();
}
static_assert(rules_in_enum_order(), "one entry per Rule, in the enum's order");

consteval bool every_rule_is_whole() {
    for (const RuleInfo& rule : rules) {
#ifdef __SANITIZE_ADDRESS__
        // The sanitizer build implies -fno-delete-null-pointer-checks, under
        // which GCC takes no function declared elsewhere for non-null in a
        // constant expression; every other build checks it.
        const bool detects = true;
#else
        const bool detects = std::visit([](auto detector) { return detector != nullptr; }, rule.detector);
#endif
        if (!detects || rule.example.empty() || rule.fixed.empty() || rule.summary.empty()) return false;
    }
    return true;
}
static_assert(every_rule_is_whole(), "every rule needs its detector, its summary and both its manifests");

constexpr const RuleInfo& info(Rule rule) { return rules[static_cast<std::size_t>(rule)]; }

std::optional<Rule> rule_named(std::string_view name);

// Which rules a run reports.
using RuleSet = std::bitset<rules.size()>;

// The rules reported unless deselected.
RuleSet default_rules();

}  // namespace brintel::cli
