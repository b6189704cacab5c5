// The command's name and version, as --version and SARIF logs give them.
#pragma once

#include <string_view>

namespace brintel::cli {

inline constexpr std::string_view program = "brintel-config";

// The package's version, set by the build.
std::string_view program_version();

}  // namespace brintel::cli
