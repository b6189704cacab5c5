// Manifest files: reading one, picking a reader out of it, storing one.
#pragma once

#include "errors/config_error.hpp"
#include "schema/records.hpp"
#include "yaml/document.hpp"
#include "yaml/read.hpp"
#include "uuid.hpp"

#include <functional>
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

// A manifest read as read_from_manifest_yaml reads it, with what locates
// its contents: the loaded events and, when reading failed, where.
struct InspectedManifest {
    yaml::Loaded loaded;
    errors::Result<OptionManifestConfig> entry;
    yaml::FailureSite failed_at;  // set when `entry` holds an error
};

// FileNotFound with `path` when the file cannot be read, as above; every
// other refusal lies in the result's `entry`.
errors::Result<InspectedManifest> inspect_manifest(const std::string& path);

// A copy of the reader stored under `reader_id`.
errors::Result<ReaderConfig> find_reader(const OptionManifestConfig& manifest,
                                         const std::string& reader_id);

// Waits until an exclusive lock on the open file `fd` is taken. Returns 0,
// or the error number that ended the wait; the update then gives up. The
// Python layer passes one that lets other threads run and signals through.
using LockWait = std::function<int(int fd)>;

// The plain wait: blocks in flock, repeated when a signal interrupts it.
int wait_for_lock(int fd);

// Stores a copy of `reader` under `reader_id` in the manifest at `path`
// (replacing a reader of that id) and writes the product entry back; the
// other top-level entries are not kept. Updates of one manifest are
// serialised by a lock on it; one that cannot take the lock fails.
errors::Status add_to_manifest_yaml(const ReaderConfig& reader, const std::string& path,
                                    const std::string& reader_id, const LockWait& wait = wait_for_lock);

// The whole file as text; FileNotFound with `path` when it cannot be read,
// is not a file (or a pipe) or is not UTF-8.
errors::Result<std::string> read_text_file(const std::string& path);

// The whole text readable from `fd`; FileNotFound with `path` as above.
errors::Result<std::string> read_text(int fd, const std::string& path);

// Gives every reader the id "<id>_<uuid>".
void make_reader_ids_unique(ReaderMap& readers);

}  // namespace brintel::schema
