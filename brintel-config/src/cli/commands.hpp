// The brintel-config shell command: checking and showing manifest readers
// with the same reader and rules as the Python module.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace brintel::cli {

enum ExitStatus : int {
    success = 0,
    problems_found = 1,  // check: some reader did not validate
    failure = 2,         // unusable arguments, unreadable manifest, missing reader
};

struct Streams {
    std::ostream& out;
    std::ostream& err;
};

// The whole command line after the program name.
int run(std::span<const std::string_view> arguments, Streams streams);

int check_manifest(const std::string& path, Streams streams);
int show_reader(const std::string& path, const std::string& reader_id, Streams streams);

}  // namespace brintel::cli
