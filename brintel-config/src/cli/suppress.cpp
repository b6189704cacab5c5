#include "cli/suppress.hpp"

#include "cli/sites.hpp"
#include "cli/suggest.hpp"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace brintel::cli {
namespace {

constexpr std::string_view tool = "brintel-config";
constexpr std::string_view directive_start = "brintel-config:";
constexpr std::string_view ignore_line = "ignore";
constexpr std::string_view ignore_file = "ignore-file";
constexpr std::array<std::string_view, 2> kinds = {ignore_line, ignore_file};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_word(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_'; }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

std::uint32_t columns(std::string_view text) {
    return static_cast<std::uint32_t>(
        std::ranges::count_if(text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Reads one comment, `part` by `part`: each a piece of its text.
class Reader {
public:
    explicit Reader(const Comment& comment) : comment_(comment) {}

    yaml::Mark mark_of(std::string_view part) const {
        const auto before = static_cast<std::size_t>(part.data() - comment_.text.data());
        return {comment_.at.line, comment_.at.column + 1 + columns(comment_.text.substr(0, before))};
    }

    Flaw flaw(std::string_view part, std::string message) const {
        return {mark_of(part), std::max<std::uint32_t>(1, columns(part)), std::move(message)};
    }

private:
    const Comment& comment_;
};

std::string did_you_mean(std::string_view what, std::optional<std::string_view> suggestion) {
    std::string out(what);
    if (suggestion) out.append("; did you mean `").append(*suggestion).append("`?");
    return out;
}

std::vector<std::string_view> rule_names() {
    std::vector<std::string_view> names;
    for (const RuleInfo& rule : rules) names.push_back(rule.name);
    return names;
}

// The rules in `list` ("a, b"), or flaws.
void read_rules(std::string_view list, const Reader& reader, bool applies, Suppression& out) {
    static const std::vector<std::string_view> names = rule_names();
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        const std::string_view name = trim(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
        if (name.empty()) continue;
        const std::optional<Rule> rule = rule_named(name);
        if (!rule) {
            out.flaws.push_back(reader.flaw(name, did_you_mean("unknown rule `" + std::string(name) + "` in a suppression",
                                                               closest(name, names))));
        } else if (info(*rule).severity == Severity::Error) {
            std::string message = "no comment can suppress `";
            out.flaws.push_back(reader.flaw(name, message.append(name).append("`: it is an error")));
        } else if (applies) {
            out.rules.push_back({*rule, reader.mark_of(name), columns(name)});
        }
    }
}

// `body`: what follows "brintel-config:".
void read_directive(std::string_view body, const Reader& reader, bool applies, Suppression& out) {
    const std::string_view word = body.substr(0, static_cast<std::size_t>(std::ranges::find_if_not(body, is_word) - body.begin()));
    const auto kind = std::ranges::find_if(kinds, [&](std::string_view k) { return same_ignoring_case(k, word); });
    if (kind == kinds.end()) {
        out.flaws.push_back(reader.flaw(word, did_you_mean("unknown suppression `" + std::string(word) + "`",
                                                           closest(word, kinds))));
        return;
    }
    out.reach = *kind == ignore_file ? Reach::File : Reach::Line;
    if (word != *kind) {
        out.flaws.push_back(reader.flaw(word, did_you_mean("suppression not applied", *kind)));
        applies = false;
    }
    const std::string_view rest = body.substr(word.size());
    const std::size_t close = rest.find(']');
    if (rest.starts_with('[') && close == std::string_view::npos) {
        out.flaws.push_back(reader.flaw(word, "suppression not applied: `[` without `]`"));
        return;
    }
    if (!rest.starts_with('[') || trim(rest.substr(1, close - 1)).empty()) {
        out.flaws.push_back(reader.flaw(word, "a bare `" + std::string(*kind) +
                                                  "` suppresses nothing: name the rules, as in `" +
                                                  std::string(*kind) + "[unknown-key]`"));
        return;
    }
    read_rules(rest.substr(1, close - 1), reader, applies, out);
}

std::optional<Suppression> suppression(const Comment& comment) {
    const std::string_view text = trim(comment.text);
    if (text.size() < tool.size() || !same_ignoring_case(text.substr(0, tool.size()), tool)) return std::nullopt;
    const std::string_view after = trim(text.substr(tool.size()));
    if (!after.starts_with(':')) return std::nullopt;  // prose that names the command
    const Reader reader(comment);
    Suppression out{Reach::Line, comment.at, {}, {}};
    const bool applies = text.starts_with(directive_start);
    if (!applies) {
        const std::string_view spelled = text.substr(0, static_cast<std::size_t>(after.data() - text.data()) + 1);
        out.flaws.push_back(reader.flaw(spelled, did_you_mean("suppression not applied", directive_start)));
    }
    read_directive(trim(after.substr(1)), reader, applies, out);
    return out;
}

Finding flaw_finding(Rule rule, yaml::Mark at, std::uint32_t width, std::string message) {
    Finding finding = located(at, rule, std::move(message));
    finding.end = Position{finding.line, finding.column + width};
    return finding;
}

bool is_about_suppressions(Rule rule) { return rule == Rule::BadSuppression || rule == Rule::UnusedSuppression; }

// Removes the warnings among `findings` that a suppression names.
std::size_t drop_suppressed(std::vector<Finding>& findings, std::vector<Suppression>& suppressions) {
    std::unordered_map<std::uint32_t, std::vector<Suppression*>> by_line;
    std::vector<Suppression*> whole_file;
    for (Suppression& s : suppressions) {
        if (s.reach == Reach::File) whole_file.push_back(&s);
        else by_line[s.at.line].push_back(&s);
    }
    const auto uses = [](const std::vector<Suppression*>& candidates, Rule rule) {
        bool used = false;
        for (Suppression* s : candidates) {
            for (NamedRule& named : s->rules) {
                if (named.rule == rule) used = named.used = true;
            }
        }
        return used;
    };
    return std::erase_if(findings, [&](const Finding& finding) {
        if (finding.severity() != Severity::Warning) return false;
        const auto line = by_line.find(static_cast<std::uint32_t>(finding.line - 1));
        const bool on_line = line != by_line.end() && uses(line->second, finding.rule);
        return uses(whole_file, finding.rule) || on_line;
    });
}

}  // namespace

std::vector<Suppression> suppressions(const std::vector<Comment>& comments) {
    std::vector<Suppression> out;
    for (const Comment& comment : comments) {
        if (auto found = suppression(comment)) out.push_back(std::move(*found));
    }
    return out;
}

bool may_hold_suppressions(std::string_view text) { return may_hold_comment_starting(text, tool); }

std::size_t suppress(std::vector<Finding>& findings, std::vector<Suppression>& suppressions) {
    std::size_t suppressed = drop_suppressed(findings, suppressions);
    Report report;
    detect(SuppressionSite{suppressions}, report);
    suppressed += drop_suppressed(report.findings(), suppressions);
    findings.insert(findings.end(), std::make_move_iterator(report.findings().begin()),
                    std::make_move_iterator(report.findings().end()));
    return suppressed;
}

void detect_bad_suppression(const SuppressionSite& site, Report& report) {
    for (const Suppression& s : site.suppressions) {
        for (const Flaw& flaw : s.flaws) report.add(flaw_finding(Rule::BadSuppression, flaw.at, flaw.width, flaw.message));
    }
}

// Suppressions of these two rules are left alone: they are weighed only
// once these findings exist.
void detect_unused_suppression(const SuppressionSite& site, Report& report) {
    for (const Suppression& s : site.suppressions) {
        for (const NamedRule& named : s.rules) {
            if (named.used || is_about_suppressions(named.rule)) continue;
            const std::string where = s.reach == Reach::File ? "in this file" : "on this line";
            report.add(flaw_finding(Rule::UnusedSuppression, named.at, named.width,
                                    "unused suppression: no `" + std::string(info(named.rule).name) +
                                        "` warning " + where));
        }
    }
}

}  // namespace brintel::cli
