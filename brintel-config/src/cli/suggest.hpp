// "Did you mean": the setting a misspelt key most likely stands for.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace brintel::cli {

// Edits (insertions, deletions, substitutions, swaps of neighbours) that
// turn `a` into `b`, ASCII case ignored; any value above `limit` once the
// distance certainly exceeds it.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit);

// The candidate closest to `key`, the first of equally close ones, within a
// distance that grows with the key: a third of its length, at least one.
// Short keys are thus offered only near misses (not `port` for `host`),
// while a case-only difference is always offered.
std::optional<std::string_view> closest(std::string_view key, std::span<const std::string_view> candidates);

}  // namespace brintel::cli
