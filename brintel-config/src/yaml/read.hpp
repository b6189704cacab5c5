// Reading a manifest text into records.
#pragma once

#include "../errors/config_error.hpp"
#include "../schema/records.hpp"

#include <optional>
#include <string_view>

namespace brintel::yaml {

// What a caller keeps of a manifest. Everything is read and checked either
// way; entries and readers not selected are dropped once checked, so that a
// caller who wants one of them does not pay for holding the rest.
struct Selection {
    std::optional<std::string_view> entry;   // top-level key
    std::optional<std::string_view> reader;  // reader id, in every entry
};

// Reads the whole text as a map from top-level key to `Entry`
// (OptionManifestConfig or ManifestConfig). The text is released as soon as
// it is parsed. A refusal is a Serialization error carrying the one-line
// YAML error text.
template <class Entry>
errors::Result<schema::DocumentMap<Entry>> read_document_map(std::string text, Selection selection = {});

extern template errors::Result<schema::DocumentMap<schema::OptionManifestConfig>>
read_document_map(std::string, Selection);
extern template errors::Result<schema::DocumentMap<schema::ManifestConfig>>
read_document_map(std::string, Selection);

}  // namespace brintel::yaml
