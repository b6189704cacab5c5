#include "cli/version.hpp"

// Only this file recompiles when the version moves; builds that do not
// know it (a plain CMake build, the fuzz harnesses) say so.
#ifndef BRINTEL_CONFIG_VERSION
#define BRINTEL_CONFIG_VERSION "0+unknown"
#endif

namespace brintel::cli {

std::string_view program_version() { return BRINTEL_CONFIG_VERSION; }

}  // namespace brintel::cli
