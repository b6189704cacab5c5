#include "cli/commands.hpp"

#include "cli/lint.hpp"
#include "cli/report.hpp"
#include "cli/suppress.hpp"

#include "schema/manifest/manifest.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string_view>

namespace brintel::cli {
namespace {

constexpr std::string_view standard_input = "-";
constexpr std::string_view standard_input_name = "<stdin>";

int status_of(const FileFindings& file, bool strict) {
    int status = success;
    for (const Finding& finding : file.findings) {
        if (finding.rule == Rule::Unreadable) return failure;
        if (strict || finding.severity() == Severity::Error) status = problems_found;
    }
    return status;
}

FileFindings check_manifest(const std::string& operand, const CheckOptions& options) {
    const bool from_input = operand == standard_input;
    FileFindings file{from_input ? options.stdin_filename.value_or(std::string(standard_input_name)) : operand, {}};
    const schema::ManifestText manifest =
        from_input ? schema::manifest_text(STDIN_FILENO) : schema::manifest_text(operand);
    if (manifest.unreadable) {
        file.findings.push_back(unreadable_finding(*manifest.unreadable));
        return file;
    }
    file.findings = lint(schema::inspect_manifest(manifest.text));
    file.ignored = drop_ignored(file.findings, manifest.text);
    return file;
}

// Streams are told apart from the process's own by address: only those
// can be terminals.
bool is_terminal(const std::ostream& out) { return &out == &std::cout && ::isatty(STDOUT_FILENO) == 1; }

// Colours where a person reads them, unless NO_COLOR (no-color.org) or a
// dumb terminal asks for none.
TextStyle text_style(const std::ostream& out) {
    if (!is_terminal(out)) return {};
    const char* no_colour = std::getenv("NO_COLOR");
    const char* terminal = std::getenv("TERM");
    const bool colour = (!no_colour || !*no_colour) && !(terminal && std::string_view(terminal) == "dumb");
    return {colour, true};
}

}  // namespace

int check_manifests(const std::vector<std::string>& operands, const CheckOptions& options, Streams streams) {
    int status = success;
    std::vector<FileFindings> files;
    for (const std::string& operand : operands) {
        files.push_back(check_manifest(operand, options));
        status = std::max(status, status_of(files.back(), options.strict));
    }
    print_findings(options.format, files, text_style(streams.out), streams.out);
    return status;
}

}  // namespace brintel::cli
