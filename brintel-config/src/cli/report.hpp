// The forms in which `check` prints its findings.
#pragma once

#include "cli/lint.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::cli {

enum class Format : std::uint8_t { Text, Json, Github, Sarif };

// In the order of Format, with what each prints (for --help).
inline constexpr std::array format_names = {std::string_view("text"), std::string_view("json"),
                                            std::string_view("github"), std::string_view("sarif")};
inline constexpr std::array format_help = {
    std::string_view("FILE:LINE:COLUMN: SEVERITY: MESSAGE [RULE] per line (the default)"),
    std::string_view("one JSON array of objects with file, line, column, endLine, endColumn, severity, rule,\n"
                     "            reader, field and message"),
    std::string_view("GitHub Actions workflow commands: ::SEVERITY file=F,line=L,col=C,title=RULE::MESSAGE"),
    std::string_view("a SARIF 2.1.0 log, for GitHub code scanning and other SARIF viewers"),
};
static_assert(format_names.size() == static_cast<std::size_t>(Format::Sarif) + 1, "one name per Format");
static_assert(format_help.size() == format_names.size(), "one description per format");

std::optional<Format> format_named(std::string_view name);

// `text` with every character that could end or rewrite a line of
// terminal or editor output (C0 and C1 controls, DEL, the line and
// paragraph separators) written as \n, \r, \t or \u{hex}.
std::string one_line(std::string_view text);

struct FileFindings {
    std::string path;
    std::vector<Finding> findings;
    std::size_t ignored = 0;  // warnings that a comment ignores
};

// How the text form looks where a person reads it.
struct TextStyle {
    bool colour = false;
    bool summary = false;  // a closing line that counts the findings
};

// Text: "FILE:LINE:COLUMN: SEVERITY: MESSAGE [RULE]" per line, control
// characters and line separators escaped so that a finding is one line.
// Json: one array of objects with file, line, column, endLine, endColumn,
// severity, rule, reader, field and message. Github: one workflow command
// per line. Sarif: one SARIF log.
void print_findings(Format format, const std::vector<FileFindings>& files, const TextStyle& style,
                    std::ostream& out);

}  // namespace brintel::cli
