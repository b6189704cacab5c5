// Reading a manifest text into records.
#pragma once

#include "../errors/config_error.hpp"
#include "../schema/records.hpp"

#include <optional>
#include <string_view>

namespace brintel::yaml {

// Reads the whole text as a map from top-level key to `Entry`
// (OptionManifestConfig or ManifestConfig). Every entry is read and checked;
// with `only_key`, the others are dropped once checked, so that a caller who
// wants one entry does not pay for holding the rest. A refusal is a
// Serialization error carrying the one-line YAML error text.
template <class Entry>
errors::Result<schema::DocumentMap<Entry>> read_document_map(
    std::string_view text, std::optional<std::string_view> only_key = std::nullopt);

extern template errors::Result<schema::DocumentMap<schema::OptionManifestConfig>>
read_document_map(std::string_view, std::optional<std::string_view>);
extern template errors::Result<schema::DocumentMap<schema::ManifestConfig>>
read_document_map(std::string_view, std::optional<std::string_view>);

}  // namespace brintel::yaml
