#include "cli/sarif.hpp"

#include "cli/json.hpp"
#include "cli/version.hpp"

namespace brintel::cli {
namespace {

constexpr std::string_view schema_uri = "https://json.schemastore.org/sarif-2.1.0.json";
constexpr std::string_view sarif_version = "2.1.0";

// SARIF's name for a severity.
std::string_view level(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

// What a viewer shows about a rule: its summary and its two manifests.
std::string help_text(const RuleInfo& rule, bool markdown) {
    const std::string_view fence = markdown ? "```yaml\n" : "";
    const std::string_view close = markdown ? "```\n" : "";
    std::string out(rule.summary);
    out.append(rule.by_default ? "." : ". Reported only when selected.");
    out.append("\n\nReported:\n\n").append(fence).append(rule.example).append(close);
    out.append("\nNot reported:\n\n").append(fence).append(rule.fixed).append(close);
    return out;
}

void text_member(JsonWriter& json, std::string_view name, std::string_view text) {
    json.key(name);
    json.begin_object();
    json.member("text", text);
    json.end_object();
}

void rule_descriptor(JsonWriter& json, const RuleInfo& rule) {
    json.begin_object();
    json.member("id", rule.name);
    text_member(json, "shortDescription", rule.summary);
    json.key("help");
    json.begin_object();
    json.member("text", help_text(rule, false));
    json.member("markdown", help_text(rule, true));
    json.end_object();
    json.key("defaultConfiguration");
    json.begin_object();
    json.member("enabled", rule.by_default);
    json.member("level", level(rule.severity));
    json.end_object();
    json.end_object();
}

void driver(JsonWriter& json) {
    json.key("tool");
    json.begin_object();
    json.key("driver");
    json.begin_object();
    json.member("name", program);
    json.member("version", program_version());
    json.key("rules");
    json.begin_array();
    for (const RuleInfo& rule : rules) rule_descriptor(json, rule);
    json.end_array();
    json.end_object();
    json.end_object();
}

void region(JsonWriter& json, const Finding& finding) {
    json.key("region");
    json.begin_object();
    json.member("startLine", finding.line);
    json.member("startColumn", finding.column);
    if (finding.end) {
        json.member("endLine", finding.end->line);
        json.member("endColumn", finding.end->column);
    }
    json.end_object();
}

void result(JsonWriter& json, const std::string& uri, const Finding& finding) {
    json.begin_object();
    json.member("ruleId", info(finding.rule).name);
    json.member("ruleIndex", static_cast<std::uint64_t>(finding.rule));
    json.member("level", level(finding.severity()));
    text_member(json, "message", finding.message);
    json.key("locations");
    json.begin_array();
    json.begin_object();
    json.key("physicalLocation");
    json.begin_object();
    json.key("artifactLocation");
    json.begin_object();
    json.member("uri", uri);
    json.end_object();
    region(json, finding);
    json.end_object();
    json.end_object();
    json.end_array();
    json.end_object();
}

bool is_unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string path_uri(std::string_view path) {
    constexpr std::string_view hex = "0123456789ABCDEF";
    std::string out = path.starts_with('/') ? "file://" : "";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_unreserved(byte)) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

void print_sarif(const std::vector<FileFindings>& files, std::ostream& out) {
    std::string text;
    JsonWriter json(text);
    json.begin_object();
    json.member("$schema", schema_uri);
    json.member("version", sarif_version);
    json.key("runs");
    json.begin_array();
    json.begin_object();
    driver(json);
    // Columns count characters, as libyaml does.
    json.member("columnKind", "unicodeCodePoints");
    json.key("results");
    json.begin_array();
    for (const FileFindings& file : files) {
        const std::string uri = path_uri(file.path);
        for (const Finding& finding : file.findings) result(json, uri, finding);
    }
    json.end_array();
    json.end_object();
    json.end_array();
    json.end_object();
    out << text << '\n';
}

}  // namespace brintel::cli
