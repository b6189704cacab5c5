// The forms in which `check` prints its findings.
#pragma once

#include "lint.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::cli {

// Named by format_names, in this order.
enum class Format : std::uint8_t { Text, Json, Github };
inline constexpr std::array<std::string_view, 3> format_names = {"text", "json", "github"};

std::optional<Format> format_named(std::string_view name);

struct FileFindings {
    std::string path;
    std::vector<Finding> findings;
};

// Text: "FILE:LINE:COLUMN: SEVERITY: MESSAGE" per line. Json: one array of
// objects with file, line, column, severity, reader, field and message.
// Github: one workflow command per line, "::error file=F,line=L,col=C::MESSAGE".
void print_findings(Format format, const std::vector<FileFindings>& files, std::ostream& out);

}  // namespace brintel::cli
