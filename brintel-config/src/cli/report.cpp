#include "report.hpp"

#include "json.hpp"
#include "texts.hpp"

#include <algorithm>

namespace brintel::cli {
namespace {

std::string_view severity_name(Severity severity) {
    return severity == Severity::Error ? text::error : text::warning;
}

void print_text(const std::vector<FileFindings>& files, std::ostream& out) {
    for (const FileFindings& file : files) {
        for (const Finding& finding : file.findings) {
            out << file.path << ':' << finding.line << ':' << finding.column << ": "
                << severity_name(finding.severity) << ": " << finding.message << '\n';
        }
    }
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
            out << "::" << severity_name(finding.severity) << " file=" << path << ",line=" << finding.line
                << ",col=" << finding.column << "::" << workflow_escaped(finding.message, false) << '\n';
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
            json.member("severity", severity_name(finding.severity));
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

void print_findings(Format format, const std::vector<FileFindings>& files, std::ostream& out) {
    switch (format) {
    case Format::Text: print_text(files, out); break;
    case Format::Json: print_json(files, out); break;
    case Format::Github: print_github(files, out); break;
    }
}

}  // namespace brintel::cli
