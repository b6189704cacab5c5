// Findings as a SARIF 2.1.0 log, the form GitHub code scanning uploads.
#pragma once

#include "cli/report.hpp"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::cli {

// One run of the command: every rule with its help, every finding as a
// result located by file and region.
void print_sarif(const std::vector<FileFindings>& files, std::ostream& out);

// `path` as a URI reference: relative paths stay relative, absolute ones
// become file: URIs; every byte outside the unreserved characters and "/"
// is percent-encoded.
std::string path_uri(std::string_view path);

}  // namespace brintel::cli
