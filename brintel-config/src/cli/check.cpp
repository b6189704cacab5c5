#include "cli/commands.hpp"

#include "cli/comments.hpp"
#include "cli/extents.hpp"
#include "cli/lint.hpp"
#include "cli/suppress.hpp"
#include "cli/version.hpp"

#include "schema/manifest/manifest.hpp"
#include "yaml/positions.hpp"
#include "yaml/tokens.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <system_error>

namespace brintel::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view standard_input = "-";
constexpr std::string_view standard_input_name = "<stdin>";
constexpr std::array<std::string_view, 2> manifest_extensions = {".yaml", ".yml"};

int status_of(const FileFindings& file, bool strict) {
    int status = success;
    for (const Finding& finding : file.findings) {
        if (finding.rule == Rule::Unreadable) return failure;
        if (strict || finding.severity() == Severity::Error) status = problems_found;
    }
    return status;
}

FileFindings unreadable_file(std::string path, const schema::Unreadable& unreadable, const RuleSet& selected) {
    FileFindings file{std::move(path), {}};
    if (selected[static_cast<std::size_t>(Rule::Unreadable)]) file.findings.push_back(unreadable_finding(unreadable));
    return file;
}

FileFindings check_manifest(const std::string& operand, const CheckOptions& options) {
    const bool from_input = operand == standard_input;
    std::string path = from_input ? options.stdin_filename.value_or(std::string(standard_input_name)) : operand;
    const schema::ManifestText manifest =
        from_input ? schema::manifest_text(STDIN_FILENO) : schema::manifest_text(operand);
    if (manifest.unreadable) return unreadable_file(std::move(path), *manifest.unreadable, options.selected);
    return check_text(std::move(path), manifest.text, options.selected);
}

bool is_manifest_name(const fs::path& path) {
    const std::string extension = path.extension().string();
    return std::ranges::find(manifest_extensions, extension) != manifest_extensions.end();
}

bool is_hidden(const fs::path& path) { return path.filename().string().starts_with('.'); }

// A file below a directory operand, or a directory below it that cannot
// be listed (with the system's reason).
struct Found {
    fs::path path;
    std::string reason;
};

// The manifests below `directory`, sorted; symbolic links to directories
// are not followed, and hidden files and directories are left out. One
// directory open at a time, from a stack: nothing recurses.
std::vector<Found> manifests_below(const fs::path& directory) {
    std::vector<Found> found;
    std::vector<fs::path> pending = {directory};
    while (!pending.empty()) {
        const fs::path at = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        for (fs::directory_iterator entries(at, error), end; !error && entries != end; entries.increment(error)) {
            const fs::directory_entry& entry = *entries;
            std::error_code kind_error;
            if (is_hidden(entry.path())) continue;
            if (entry.is_directory(kind_error) && !entry.is_symlink(kind_error)) pending.push_back(entry.path());
            else if (entry.is_regular_file(kind_error) && is_manifest_name(entry.path())) found.push_back({entry.path(), {}});
        }
        if (error) found.push_back({at, error.message()});
    }
    std::ranges::sort(found, {}, &Found::path);
    return found;
}

bool is_directory(const std::string& operand) {
    std::error_code error;
    return operand != standard_input && fs::is_directory(operand, error);
}

void check_directory(const std::string& operand, const CheckOptions& options, std::vector<FileFindings>& files,
                     Streams streams) {
    const std::vector<Found> found = manifests_below(operand);
    if (found.empty()) streams.err << program << ": no *.yaml or *.yml files below " << operand << '\n';
    for (const Found& file : found) {
        if (file.reason.empty()) files.push_back(check_manifest(file.path.string(), options));
        else files.push_back(unreadable_file(file.path.string(), {file.reason, {}, false}, options.selected));
    }
}

// Streams are told apart from the process's own by address: only those
// can be terminals.
bool is_terminal(const std::ostream& out) { return &out == &std::cout && ::isatty(STDOUT_FILENO) == 1; }

bool is_set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// --color first; then NO_COLOR (no-color.org) over FORCE_COLOR and
// CLICOLOR_FORCE (force-color.org, bixense.com/clicolors); then whether a
// person reads a terminal that is not dumb.
bool wants_colour(Colour choice, bool terminal) {
    if (choice != Colour::Auto) return choice == Colour::Always;
    if (is_set("NO_COLOR")) return false;
    const char* clicolor_force = std::getenv("CLICOLOR_FORCE");
    if (is_set("FORCE_COLOR") || (is_set("CLICOLOR_FORCE") && std::string_view(clicolor_force) != "0")) return true;
    const char* terminal_type = std::getenv("TERM");
    return terminal && !(terminal_type && std::string_view(terminal_type) == "dumb");
}

std::uint64_t characters(std::string_view line) {
    return static_cast<std::uint64_t>(
        std::ranges::count_if(line, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// libyaml places some errors at the end of the input one line past its
// last (after a last line without a line break): editors are pointed at the
// text's end instead. The message keeps the parser's words.
void keep_inside(std::string_view text, std::vector<Finding>& findings) {
    if (findings.empty()) return;
    const yaml::Lines lines(text);
    const yaml::Mark last = yaml::mark_at(text, text.size());
    const auto inside = [&](std::uint64_t& line, std::uint64_t& column) {
        if (line > std::uint64_t{last.line} + 1) line = std::uint64_t{last.line} + 1;
        column = std::min(column, characters(lines.line(static_cast<std::uint32_t>(line - 1))) + 1);
    };
    for (Finding& finding : findings) {
        inside(finding.line, finding.column);
        if (finding.end) inside(finding.end->line, finding.end->column);
    }
}

}  // namespace

FileFindings check_text(std::string path, std::string_view text, const RuleSet& selected) {
    FileFindings file{std::move(path), lint(schema::inspect_manifest(text))};
    keep_inside(text, file.findings);
    std::optional<yaml::Tokens> tokens;
    const auto scanned = [&]() -> const yaml::Tokens& {
        if (!tokens) tokens = yaml::scan_tokens(text);
        return *tokens;
    };
    if (may_hold_suppressions(text)) {
        std::vector<Suppression> found = suppressions(comments(text, scanned()));
        file.ignored = suppress(file.findings, found);
    }
    std::erase_if(file.findings, [&](const Finding& f) { return !selected[static_cast<std::size_t>(f.rule)]; });
    if (std::ranges::any_of(file.findings, [](const Finding& f) { return f.extent != Extent::None; })) {
        add_ends(file.findings, scanned());
    }
    std::ranges::stable_sort(file.findings, {}, [](const Finding& f) { return std::pair(f.line, f.column); });
    return file;
}

int check_manifests(const std::vector<std::string>& operands, const CheckOptions& options, Streams streams) {
    std::vector<FileFindings> files;
    for (const std::string& operand : operands) {
        if (is_directory(operand)) check_directory(operand, options, files, streams);
        else files.push_back(check_manifest(operand, options));
    }
    int status = success;
    for (const FileFindings& file : files) status = std::max(status, status_of(file, options.strict));
    const bool terminal = is_terminal(streams.out);
    print_findings(options.format, files, {wants_colour(options.colour, terminal), terminal}, streams.out);
    return status;
}

}  // namespace brintel::cli
