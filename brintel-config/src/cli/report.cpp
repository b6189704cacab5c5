#include "cli/report.hpp"

#include "cli/json.hpp"
#include "cli/texts.hpp"

#include <algorithm>

namespace brintel::cli {
namespace {

// ANSI select-graphic-rendition sequences.
constexpr std::string_view bold = "\x1b[1m";
constexpr std::string_view red = "\x1b[1;31m";
constexpr std::string_view yellow = "\x1b[1;33m";
constexpr std::string_view faint = "\x1b[2m";
constexpr std::string_view plain = "\x1b[0m";

// `text` in `colour` when colours are on.
std::string painted(std::string_view text, std::string_view colour, const TextStyle& style) {
    if (!style.colour) return std::string(text);
    return std::string(colour).append(text).append(plain);
}

// "1 error", "2 warnings".
std::string count_of(std::size_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

std::string summary(const std::vector<FileFindings>& files) {
    std::size_t errors = 0;
    std::size_t warnings = 0;
    std::size_t ignored = 0;
    for (const FileFindings& file : files) {
        for (const Finding& finding : file.findings) ++(finding.severity() == Severity::Error ? errors : warnings);
        ignored += file.ignored;
    }
    std::string out = errors + warnings == 0 ? std::string("no problems")
                                             : count_of(errors, "error") + ", " + count_of(warnings, "warning");
    out += " in " + count_of(files.size(), "manifest");
    if (ignored > 0) out += " (" + std::to_string(ignored) + " ignored)";
    return out;
}

// "[unknown-key]"; appended, not concatenated: g++ 12 warns of a memcpy
// overlap in "[" + ...
std::string rule_tag(Rule rule) {
    std::string tag(1, '[');
    tag.append(info(rule).name).append("]");
    return tag;
}

void print_text(const std::vector<FileFindings>& files, const TextStyle& style, std::ostream& out) {
    for (const FileFindings& file : files) {
        for (const Finding& finding : file.findings) {
            const std::string location =
                file.path + ':' + std::to_string(finding.line) + ':' + std::to_string(finding.column) + ':';
            const Severity severity = finding.severity();
            out << painted(location, bold, style) << ' '
                << painted(severity_name(severity), severity == Severity::Error ? red : yellow, style) << ": "
                << finding.message << ' ' << painted(rule_tag(finding.rule), faint, style) << '\n';
        }
    }
    if (style.summary) out << summary(files) << '\n';
}

// Workflow commands end at a line break and split properties at ",", so
// these are written as %XX; "%" itself so that the escapes stay unambiguous.
std::string workflow_escaped(std::string_view text, bool property) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '%': out += "%25"; break;
        case '\r': out += "%0D"; break;
        case '\n': out += "%0A"; break;
        case ':': out += property ? "%3A" : ":"; break;
        case ',': out += property ? "%2C" : ","; break;
        default: out += c;
        }
    }
    return out;
}

void print_github(const std::vector<FileFindings>& files, std::ostream& out) {
    for (const FileFindings& file : files) {
        const std::string path = workflow_escaped(file.path, true);
        for (const Finding& finding : file.findings) {
            out << "::" << severity_name(finding.severity()) << " file=" << path << ",line=" << finding.line
                << ",col=" << finding.column << ",title=" << info(finding.rule).name
                << "::" << workflow_escaped(finding.message, false) << '\n';
        }
    }
}

void optional_member(JsonWriter& json, std::string_view name, const std::optional<std::string>& value) {
    json.key(name);
    if (value) json.string(*value);
    else json.null();
}

void print_json(const std::vector<FileFindings>& files, std::ostream& out) {
    std::string text;
    JsonWriter json(text);
    json.begin_array();
    for (const FileFindings& file : files) {
        for (const Finding& finding : file.findings) {
            json.begin_object();
            json.member("file", file.path);
            json.member("line", finding.line);
            json.member("column", finding.column);
            json.member("severity", severity_name(finding.severity()));
            json.member("rule", info(finding.rule).name);
            optional_member(json, "reader", finding.reader);
            optional_member(json, "field", finding.field);
            json.member("message", finding.message);
            json.end_object();
        }
    }
    json.end_array();
    out << text << '\n';
}

}  // namespace

std::optional<Format> format_named(std::string_view name) {
    const auto found = std::ranges::find(format_names, name);
    if (found == format_names.end()) return std::nullopt;
    return static_cast<Format>(found - format_names.begin());
}

void print_findings(Format format, const std::vector<FileFindings>& files, const TextStyle& style,
                    std::ostream& out) {
    switch (format) {
    case Format::Text: print_text(files, style, out); break;
    case Format::Json: print_json(files, out); break;
    case Format::Github: print_github(files, out); break;
    }
}

}  // namespace brintel::cli
