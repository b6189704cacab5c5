// What `check` finds in one manifest, each finding located in the file.
#pragma once

#include "cli/rules.hpp"

#include "schema/manifest/manifest.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brintel::cli {

struct Finding {
    std::uint64_t line;  // from 1
    std::uint64_t column;
    Rule rule;
    std::optional<std::string> reader;  // the reader id, for findings inside a reader of the brintel entry
    std::optional<std::string> field;   // the setting, for findings about one
    std::string message;
    // For a problem that makes reading fail: the error reading raises when
    // this problem is the first it meets, as Python shows it.
    std::string reading_error;

    Severity severity() const { return info(rule).severity; }
};

// Every problem of a manifest text that has been read: those that make
// reading fail, each at its own position (or, in a text that is not
// well-formed YAML, the refusal alone), the brintel entry's unknown keys,
// merge keys and repeated keys, and the validation findings of its readers;
// in order of position.
std::vector<Finding> lint(const schema::InspectedManifest& manifest);

// The finding for a manifest whose text cannot be had.
Finding unreadable_finding(const schema::Unreadable& unreadable);

}  // namespace brintel::cli
