// The brintel-config shell command: checking and showing manifest readers
// with the same reader and rules as the Python module.
#pragma once

#include "cli/report.hpp"

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::cli {

// Of several outcomes, the highest wins.
enum ExitStatus : int {
    success = 0,
    problems_found = 1,  // check: an error, or under --strict a warning
    failure = 2,         // unusable arguments, a file that cannot be read, a missing reader
};

struct Streams {
    std::ostream& out;
    std::ostream& err;
};

// The whole command line after the program name.
int run(std::span<const std::string_view> arguments, Streams streams);

struct CheckOptions {
    Format format = Format::Text;
    bool strict = false;                        // warnings fail too
    std::optional<std::string> stdin_filename;  // shown for the operand "-"
};

// The operand "-" is standard input.
int check_manifests(const std::vector<std::string>& operands, const CheckOptions& options, Streams streams);
int show_reader(const std::string& path, const std::string& reader_id, Streams streams);
int print_json_schema(Streams streams);

}  // namespace brintel::cli
