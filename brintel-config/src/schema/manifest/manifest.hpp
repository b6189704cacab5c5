// Manifest files: reading one, picking a reader out of it, storing one.
#pragma once

#include "errors/config_error.hpp"
#include "schema/records.hpp"
#include "yaml/document.hpp"
#include "yaml/read.hpp"
#include "schema/manifest/messages.hpp"
#include "schema/manifest/uuid.hpp"
#include "schema/manifest/waiting.hpp"

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

namespace brintel::schema {

// The top-level key that holds this product's entry.
inline constexpr std::string_view product_key = "brintel";

// The product's entry in a document read from a manifest, or Serialization
// with message::no_product_key.
template <class Entry>
errors::Result<Entry*> product_entry_in(DocumentMap<Entry>& document) {
    const auto entry = document.find(std::string(product_key));
    if (entry == document.end()) {
        return errors::ConfigError(errors::ErrorKind::Serialization, std::string(message::no_product_key));
    }
    return &entry->second;
}

// Reads the manifest at `path` and returns a copy of its product entry.
// With `unique_reader_ids`, every reader id gets "_" and a fresh random
// UUID appended. A manifest fed through a pipe is waited for through
// `waiting`.
errors::Result<OptionManifestConfig> read_from_manifest_yaml(const std::string& path, bool unique_reader_ids,
                                                             const Waiting& waiting = plain_waiting());

// Reads the manifest at `path` and returns a copy of the reader stored under
// `reader_id`: read_from_manifest_yaml and find_reader in one, holding no
// other reader in memory on the way.
errors::Result<ReaderConfig> read_reader_from_manifest(const std::string& path, const std::string& reader_id,
                                                       const Waiting& waiting = plain_waiting());

// Why the text of a manifest cannot be had, for people: the system's reason
// ("No such file or directory"), what stands at the path instead of a file,
// or where the text stops being UTF-8. Reading shows none of it: its
// FileNotFound names the path only.
struct Unreadable {
    std::string reason;
    yaml::Mark mark;  // where the text stops being UTF-8; line 0 column 0 otherwise
    // Reading reports a text too large for a manifest as the YAML layer
    // reports an unreadable text: Serialization, with `reason`.
    bool too_large = false;
};

// A manifest's whole text, or why there is none.
struct ManifestText {
    std::string text;
    std::optional<Unreadable> unreadable;
};

// The text of the manifest at `path`, taken as reading takes it.
ManifestText manifest_text(const std::string& path, const Waiting& waiting = plain_waiting());

// The text readable from `fd` (standard input, say), taken the same way.
ManifestText manifest_text(int fd);

// A manifest text read as read_from_manifest_yaml reads it, with what
// locates its contents: the loaded events and, when reading failed, where.
struct InspectedManifest {
    yaml::Loaded loaded;
    errors::Result<OptionManifestConfig> entry;
    // Where the YAML reading refused; nothing when it read, and when the
    // refusal is the missing product key.
    std::optional<yaml::FailureSite> failed_at;
};

// Reads `text` as reading a manifest file does, keeping the loaded events
// and their positions. The entry holds the reader `reader_id` alone, or no
// reader when none is given: every other one is checked, then dropped. The
// events refer to `text`, which must outlive them.
InspectedManifest inspect_manifest(std::string_view text, std::optional<std::string_view> reader_id = std::nullopt);

// A copy of the reader stored under `reader_id`.
errors::Result<ReaderConfig> find_reader(const OptionManifestConfig& manifest,
                                         const std::string& reader_id);

// Stores a copy of `reader` under `reader_id` in the manifest at `path`
// (replacing a reader of that id) and writes the product entry back; the
// other top-level entries are not kept. Updates of one manifest are
// serialised by a lock on it; one that cannot take the lock fails. The
// wait for another update's lock goes through `waiting`, and a signal that
// asks to give up stops the update at any point before it writes.
errors::Status add_to_manifest_yaml(const ReaderConfig& reader, const std::string& path,
                                    const std::string& reader_id, const Waiting& waiting = plain_waiting());

// The whole file as text; FileNotFound with `path` when it cannot be read,
// is not a file (or a pipe) or is not UTF-8, and Serialization when it is
// larger than a manifest may be.
errors::Result<std::string> read_text_file(const std::string& path, const Waiting& waiting = plain_waiting());

// The whole text readable from `fd`, described by `info`; errors as above.
errors::Result<std::string> read_text(int fd, const struct stat& info, const std::string& path,
                                      const Waiting& waiting);

// Gives every reader the id "<id>_<uuid>".
void make_reader_ids_unique(ReaderMap& readers);

}  // namespace brintel::schema
