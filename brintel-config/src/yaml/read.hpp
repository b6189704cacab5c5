// Reading a manifest text into records.
#pragma once

#include "../errors/config_error.hpp"
#include "../schema/records.hpp"
#include "document.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Where reading stopped: the position its text names and the keys from the
// document's root to the value it stopped at (none when the text names no
// path).
struct FailureSite {
    Mark mark;
    std::vector<std::string> keys;
};

// read_document_map on an already loaded text; on a refusal, `site` (when
// given) tells where it happened.
template <class Entry>
errors::Result<schema::DocumentMap<Entry>> read_loaded(const Loaded& loaded, Selection selection = {},
                                                       FailureSite* site = nullptr);

extern template errors::Result<schema::DocumentMap<schema::OptionManifestConfig>>
read_loaded(const Loaded&, Selection, FailureSite*);

}  // namespace brintel::yaml
