// The brintel-config shell command: checking and showing manifest readers
// with the same reader and rules as the Python module.
#pragma once

#include "cli/report.hpp"
#include "cli/rules.hpp"

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
    problems_found = 1,  // check: an error, or under --strict a warning; show: a reader that fails validation
    failure = 2,         // unusable arguments, a file that cannot be read, a missing reader
};

struct Streams {
    std::ostream& out;
    std::ostream& err;
};

// The whole command line after the program name.
int run(std::span<const std::string_view> arguments, Streams streams);

enum class Colour : std::uint8_t { Auto, Always, Never };

struct CheckOptions {
    Format format = Format::Text;
    bool strict = false;                        // warnings fail too
    std::optional<std::string> stdin_filename;  // shown for the operand "-"
    RuleSet selected = default_rules();
    Colour colour = Colour::Auto;
};

// The findings of one manifest text named `path`, as `check` reports them:
// suppressions applied, ends located, only the selected rules.
FileFindings check_text(std::string path, std::string_view text, const RuleSet& selected);

// The operand "-" is standard input; a directory stands for the manifests
// below it.
int check_manifests(const std::vector<std::string>& operands, const CheckOptions& options, Streams streams);

enum class ShowFormat : std::uint8_t { Json, Yaml };
inline constexpr std::array show_format_names = {std::string_view("json"), std::string_view("yaml")};

// Without an id, the manifest's reader ids, one a line.
int show_reader(const std::string& path, const std::optional<std::string>& reader_id, ShowFormat format,
                Streams streams);
int print_json_schema(Streams streams);
int print_rules(Format format, Streams streams);

}  // namespace brintel::cli
