// Manifest files: reading one, picking a reader out of it, storing one.
#pragma once

#include "../errors/config_error.hpp"
#include "records.hpp"

#include <string>

namespace brintel::schema {

// The top-level key that holds this product's entry.
inline constexpr std::string_view product_key = "brintel";

// Reads the manifest at `path` and returns a copy of its product entry.
// With `unique_reader_ids`, every reader id gets "_" and a fresh random
// UUID appended.
errors::Result<OptionManifestConfig> read_from_manifest_yaml(const std::string& path,
                                                             bool unique_reader_ids);

// Reads the manifest at `path` and returns a copy of the reader stored under
// `reader_id`: read_from_manifest_yaml and find_reader in one, holding no
// other reader in memory on the way.
errors::Result<ReaderConfig> read_reader_from_manifest(const std::string& path, const std::string& reader_id);

// A copy of the reader stored under `reader_id`.
errors::Result<ReaderConfig> find_reader(const OptionManifestConfig& manifest,
                                         const std::string& reader_id);

// Stores a copy of `reader` under `reader_id` in the manifest at `path`
// (replacing a reader of that id) and writes the product entry back; the
// other top-level entries are not kept.
errors::Status add_to_manifest_yaml(const ReaderConfig& reader, const std::string& path,
                                    const std::string& reader_id);

// The whole file as text; FileNotFound with `path` when it cannot be read
// or is not UTF-8.
errors::Result<std::string> read_text_file(const std::string& path);

// Gives every reader the id "<id>_<uuid>".
void make_reader_ids_unique(ReaderMap& readers);

}  // namespace brintel::schema
