// The brintel-config command as a whole: what its process prints and exits
// with. The console script runs it inside the Python process that starts it.
#pragma once

#include <span>
#include <string_view>

namespace brintel::cli {

// The exit status for the command line after the program name; the output
// goes to the process's standard output and error.
int command_main(std::span<const std::string_view> arguments) noexcept;

}  // namespace brintel::cli
