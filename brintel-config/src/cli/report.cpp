#include "cli/report.hpp"

#include "cli/json.hpp"
#include "cli/sarif.hpp"

#include <algorithm>
#include <array>

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
        const std::string path = one_line(file.path);
        for (const Finding& finding : file.findings) {
            const std::string location =
                path + ':' + std::to_string(finding.line) + ':' + std::to_string(finding.column) + ':';
            const Severity severity = finding.severity();
            out << painted(location, bold, style) << ' '
                << painted(severity_name(severity), severity == Severity::Error ? red : yellow, style) << ": "
                << one_line(finding.message) << ' ' << painted(rule_tag(finding.rule), faint, style) << '\n';
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
                << ",col=" << finding.column;
            // An annotation has an end column only on its first line.
            if (finding.end) out << ",endLine=" << finding.end->line;
            if (finding.end && finding.end->line == finding.line) out << ",endColumn=" << finding.end->column;
            out << ",title=" << info(finding.rule).name << "::" << workflow_escaped(finding.message, false) << '\n';
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
            json.key("endLine");
            if (finding.end) json.number(finding.end->line);
            else json.null();
            json.key("endColumn");
            if (finding.end) json.number(finding.end->column);
            else json.null();
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

// The escape of a character that one_line escapes, or nothing.
std::optional<std::string> line_escape(char32_t c) {
    switch (c) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: break;
    }
    const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
    if (!control && c != 0x2028 && c != 0x2029) return std::nullopt;
    constexpr std::string_view hex = "0123456789abcdef";
    std::string digits;
    for (char32_t rest = c; rest != 0 || digits.empty(); rest >>= 4) digits.insert(digits.begin(), hex[rest & 0xF]);
    return "\\u{" + digits + "}";
}

// The code point of the (valid or not) UTF-8 sequence at the start of
// `text` and its length; a stray byte stands for itself with length 1.
std::pair<char32_t, std::size_t> decoded(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || length > text.size()) return {lead < 0x80 ? lead : 0xFFFD, 1};
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {0xFFFD, 1};
        code = (code << 6) | (byte(i) & 0x3F);
    }
    return {code, length};
}

}  // namespace

std::string one_line(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto [code, length] = decoded(text);
        if (const auto escape = line_escape(code)) out += *escape;
        else out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

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
    case Format::Sarif: print_sarif(files, out); break;
    }
}

}  // namespace brintel::cli
