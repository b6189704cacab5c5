// What `check` finds in one manifest, each finding located in the file.
#pragma once

#include "cli/rules.hpp"

#include "schema/manifest/manifest.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brintel::cli {

// A position as people count it, from 1.
struct Position {
    std::uint64_t line;
    std::uint64_t column;
};

// What a finding's start is the start of, for its end position: a scalar
// or an alias, a collection not known to be in block style, or nothing
// whose end is wanted.
enum class Extent : std::uint8_t { None, Node, Flow };

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
    // For a finding at a key or a value, the text's tokens give `end`: the
    // position just after it.
    Extent extent = Extent::None;
    std::optional<Position> end;

    Severity severity() const { return info(rule).severity; }
};

// Every problem of a manifest text that has been read, found by the
// detectors of the rules: those that make reading fail, each at its own
// position (or, in a text that is not well-formed YAML, the refusal alone),
// and in the brintel entry (in the entries that reading drops for a later
// one, and in an entry whose key is close to brintel when there is none) the
// unknown, repeated and merge keys and the validation findings of its
// readers; in order of position. Comments are not looked at here.
std::vector<Finding> lint(const schema::InspectedManifest& manifest);

// The finding for a manifest whose text cannot be had.
Finding unreadable_finding(const schema::Unreadable& unreadable);

}  // namespace brintel::cli
