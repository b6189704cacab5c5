// What `check` finds in one manifest, each finding located in the file.
#pragma once

#include "schema/manifest/manifest.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brintel::cli {

enum class Severity : std::uint8_t { Error, Warning };

struct Finding {
    std::uint64_t line;  // from 1
    std::uint64_t column;
    Severity severity;
    std::optional<std::string> reader;  // the reader id, for findings inside a reader
    std::optional<std::string> field;   // the field, for findings about one
    std::string message;
};

// The reading failure alone, when the manifest did not read; otherwise its
// unknown keys (in a reader, in server_config, in the product entry) and
// every reader's validation findings, in order of position.
std::vector<Finding> lint(const schema::InspectedManifest& manifest);

}  // namespace brintel::cli
