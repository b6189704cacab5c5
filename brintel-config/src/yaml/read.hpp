// Reading a manifest text into records.
#pragma once

#include "errors/config_error.hpp"
#include "schema/records.hpp"
#include "yaml/document.hpp"
#include "yaml/path.hpp"

#include <cstddef>
#include <cstdint>
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
    bool any_reader = true;                  // false: no reader is kept, whatever its id

    bool keeps_reader(std::string_view id) const { return any_reader && (!reader || id == *reader); }
};

// Reads the whole text as a map from top-level key to `Entry`
// (OptionManifestConfig or ManifestConfig). The events refer to the text,
// which is released once the records are read. A refusal is a Serialization
// error carrying the one-line YAML error text.
template <class Entry>
errors::Result<schema::DocumentMap<Entry>> read_document_map(std::string text, Selection selection = {});

extern template errors::Result<schema::DocumentMap<schema::OptionManifestConfig>>
read_document_map(std::string, Selection);
extern template errors::Result<schema::DocumentMap<schema::ManifestConfig>>
read_document_map(std::string, Selection);

// What kind of refusal reading made.
enum class Cause : std::uint8_t {
    Malformed,  // not a document reading takes: syntax, anchors, nesting, size, repetition
    WrongType,  // a value, key or record of the wrong type or range
    MissingField,
    DuplicateField,
};

// Where reading stopped: the position its text names, the keys from the
// document's root to the value it stopped at (none when the text names no
// path), and the kind of refusal.
struct FailureSite {
    Mark mark;
    std::vector<std::string> keys;
    Cause cause = Cause::Malformed;
};

// read_document_map on an already loaded text; on a refusal, `site` (when
// given) tells where it happened.
template <class Entry>
errors::Result<schema::DocumentMap<Entry>> read_loaded(const Loaded& loaded, Selection selection = {},
                                                       FailureSite* site = nullptr);

extern template errors::Result<schema::DocumentMap<schema::OptionManifestConfig>>
read_loaded(const Loaded&, Selection, FailureSite*);

// Reading values through aliases replays their events and scalar bytes; past
// this many, reading refuses (message::repetition_limit). One jump can
// replay a whole anchored mapping or copy a megabyte-long scalar, so jumps
// alone do not bound the work. The cap lies far beyond what sharing settings
// through aliases needs, and keeps a hostile manifest to seconds.
inline constexpr std::uint64_t replay_limit = std::uint64_t{1} << 28;

// What replaying one event, with a text of `text_length` bytes, through an
// alias counts against replay_limit.
inline std::uint64_t replay_cost(std::size_t text_length) { return 1 + std::uint64_t{text_length}; }
inline std::uint64_t replay_cost(const Event& event) { return replay_cost(event.text_length); }

// ---------------------------------------------------------------------------
// Reading one piece of a loaded document by the rules and texts of reading,
// for a checker that goes on past the first refusal. Each gives the refusal
// reading makes for that piece, or nothing when it reads. Values are read as
// a whole: a record or map value from its first event to its end.

// A refusal in parts: its text and position as reading reports them, the
// text without path and position, the path, and its kind.
struct Refusal {
    Failure failure;
    std::string message;
    std::optional<std::string> path;  // the text of the path; none at the root and where the text names none
    Cause cause = Cause::Malformed;
};

// The value at event `value` (an alias is followed) read into the field
// named `key` of `out`, as a `Record` at `record_path` reads it.
template <class Record>
std::optional<Refusal> read_field(const Document& document, std::size_t value, std::string_view key,
                                  const Path& record_path, Record& out);

// The value at event `value` read as an entry of a map (a manifest entry or
// a reader) at `entry_path`.
template <class Entry>
std::optional<Refusal> read_entry(const Document& document, std::size_t value, const Path& entry_path,
                                  Entry& out);

// The key at event `key` of a mapping at `path`: a scalar, or an alias of
// one. A record's key is a field identifier, a map's a string.
enum class KeyOf : std::uint8_t { Record, Map };
std::optional<Refusal> read_key(const Document& document, std::size_t key, const Path& path, KeyOf owner);

// The document's root read as the map of manifest entries.
std::optional<Refusal> read_root(const Document& document);

}  // namespace brintel::yaml
