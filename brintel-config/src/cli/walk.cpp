#include "cli/walk.hpp"

#include "cli/entries_by_key.hpp"
#include "cli/texts.hpp"

#include "yaml/messages.hpp"

#include <array>
#include <type_traits>

namespace brintel::cli {
namespace {

using schema::OptionManifestConfig;
using schema::ValueKind;
using yaml::KeyAt;
using yaml::Path;
using Entries = std::vector<KeyAt>;

template <class Record>
constexpr auto field_keys = [] {
    std::array<std::string_view, schema::field_count<Record>> keys{};
    std::size_t at = 0;
    schema::for_each_field<Record>([&](const auto& field) { keys[at++] = field.key(); });
    return keys;
}();

// Whether every setting of the record is a scalar, none walked in turn.
template <class Record>
constexpr bool is_flat = [] {
    bool flat = true;
    schema::for_each_field<Record>([&](const auto& field) {
        flat = flat && field.kind != ValueKind::Record && field.kind != ValueKind::ReaderMap;
    });
    return flat;
}();

template <class Record>
std::optional<std::size_t> field_index(std::string_view key) {
    std::optional<std::size_t> found;
    schema::visit_field_named<Record>(key, [&](const auto&, std::size_t index) { found = index; });
    return found;
}

template <class Record>
bool names_field(std::string_view key) {
    return field_index<Record>(key).has_value();
}

// Of a repeated key, the later entry is the one that was read.
EntriesByKey last_entries(const yaml::Document& document, const Entries& entries) {
    EntriesByKey last(entries, entries.size());
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (is_scalar_key(document, entries[index])) last.find_or_add(index).entry = static_cast<std::uint32_t>(index);
    }
    return last;
}

// The note of an entry that a later one with the same key replaces.
std::string dropped_note(const yaml::Document& document, const KeyAt& entry, const KeyAt& kept) {
    return &entry == &kept ? std::string() : text::dropped_for_later(kept.key_mark(document));
}

class Walk {
public:
    Walk(const yaml::Document& document, Report& report) : document_(document), report_(report) {}

    void top_level() {
        if (document_.events.empty()) return;
        const Path root = Path::root();
        const Place top{root, Scope::ReadingOnly, std::nullopt, {}};
        if (!yaml::holds_entries(document_, yaml::root_value)) {
            refused(yaml::read_root(document_), yaml::root_value, top, std::nullopt);
            return;
        }
        const Entries entries = yaml::mapping_entries(document_, yaml::root_value);
        detect(MappingSite{document_, entries, MappingKind::Root, {}, top}, report_);
        const bool has_product = has_product_key(document_, entries);
        auto last = last_entries(document_, entries);
        for (std::size_t index = 0; index < entries.size(); ++index) {
            const KeyAt& entry = entries[index];
            if (!is_scalar_key(document_, entry)) {
                refused(yaml::read_key(document_, entry.key_event, root, yaml::KeyOf::Map), entry.key_event, top,
                        std::nullopt);
                continue;
            }
            top_level_entry(entry, root, has_product, entries[last.at(index)]);
            if (exhausted_) return;
        }
    }

private:
    const yaml::Document& document_;
    Report& report_;
    std::uint64_t replayed_ = 0;  // events and bytes read again through aliases
    Entries reader_fields_;       // a reader's, kept for the next one's: readers do not nest
    bool exhausted_ = false;

    // Every entry has the shape of the product's; a brintel entry, or the
    // entry taken for it, is examined whole.
    void top_level_entry(const KeyAt& entry, const Path& root, bool has_product, const KeyAt& kept) {
        const bool product = entry.key == schema::product_key;
        const bool taken = !has_product && near_product_key(entry.key);
        const Path path = root.child(entry.key);
        std::string note = dropped_note(document_, entry, kept);
        if (taken && note.empty()) note = text::taken_for_product(entry.key, schema::product_key);
        const Place place{path, product || taken ? Scope::Everything : Scope::ReadingOnly, std::nullopt,
                          std::move(note)};
        OptionManifestConfig manifest_entry;
        Entries fields;
        map_entry(entry, place, manifest_entry, fields);
    }

    // Counts what reading replays of an aliased value, and stops the walk
    // where reading would stop repeating.
    bool spend(const KeyAt& entry) {
        if (exhausted_) return false;
        if (!entry.value_is_alias) return true;
        const std::size_t end = yaml::value_end(document_, entry.value);
        for (std::size_t event = entry.value; event < end && replayed_ <= yaml::replay_limit; ++event) {
            replayed_ += yaml::replay_cost(document_.events[event]);
        }
        if (replayed_ <= yaml::replay_limit) return true;
        exhausted_ = true;
        const std::string message(yaml::message::repetition_limit);
        detect(RefusalSite{{}, yaml::Cause::Malformed, message, reading_error(message), {}, {}, Extent::None},
               report_);
        return false;
    }

    std::optional<std::string_view> reader_of(const Place& place) const {
        return place.scope == Scope::Everything ? place.reader : std::nullopt;
    }

    // Whether reading takes the piece that starts at event `at`; shows the
    // refusal when it does not.
    bool refused(std::optional<yaml::Refusal> refusal, std::size_t at, const Place& place,
                 std::optional<std::string_view> field) {
        if (!refusal) return true;
        detect(RefusalSite{refusal->failure.mark, refusal->cause,
                           yaml::message::at_value(refusal->path, refusal->message, {}),
                           reading_error(std::move(refusal->failure.message)), reader_of(place), field,
                           extent_at(document_, at)},
               report_);
        return false;
    }

    // A refusal of the record that starts at `start`, found by the walk at
    // `at` (a key, whose extent is `extent`); reading reports it at the
    // record's start.
    void record_refusal(yaml::Mark at, Extent extent, const yaml::Event& start, yaml::Cause cause,
                        const std::string& what, const Place& place, std::string_view field) {
        const std::optional<std::string> path = yaml::message::path_text(place.path);
        const std::string position = yaml::message::position_suffix(start.line, start.column);
        detect(RefusalSite{at, cause, yaml::message::at_value(path, what, {}),
                           reading_error(yaml::message::at_value(path, what, position)), reader_of(place), field,
                           extent},
               report_);
    }

    // An entry of a map: a record of type Entry at `place.path`.
    template <class Entry>
    bool map_entry(const KeyAt& entry, const Place& place, Entry& out, Entries& fields) {
        if (!spend(entry)) return false;
        if (!yaml::holds_entries(document_, entry.value)) {
            return refused(yaml::read_entry(document_, entry.value, place.path, out), entry.value, place,
                           std::nullopt);
        }
        return record(entry.value, place, out, fields);
    }

    // The record whose mapping starts at `value`; its entries go to `entries`.
    template <class Record>
    bool record(std::size_t value, const Place& place, Record& out, Entries& entries) {
        yaml::mapping_entries(document_, value, entries);
        if (place.scope == Scope::Everything) {
            detect(MappingSite{document_, entries, MappingKind::Record, field_keys<Record>, place, &names_field<Record>},
                   report_);
        }
        if constexpr (is_flat<Record>) {
            // Most records read: read whole, at one go, they need no
            // reading field by field to find where they do not.
            if (!yaml::read_entry(document_, value, place.path, out)) return spend_fields<Record>(entries);
            out = Record{};
        }
        return record_by_field(value, place, out, entries);
    }

    // What reading replays through the aliased settings of a record read.
    template <class Record>
    bool spend_fields(const Entries& entries) {
        for (const KeyAt& entry : entries) {
            if (exhausted_) return false;
            if (!entry.value_is_alias || !is_scalar_key(document_, entry) || !field_index<Record>(entry.key)) continue;
            if (!spend(entry)) return false;
        }
        return true;
    }

    // Each entry of the record read in turn, on past each refusal.
    template <class Record>
    bool record_by_field(std::size_t value, const Place& place, Record& out, const Entries& entries) {
        const yaml::Event& start = document_.events[value];
        std::array<bool, schema::field_count<Record>> seen{};
        bool ok = true;
        for (const KeyAt& entry : entries) {
            if (exhausted_) return false;
            if (!is_scalar_key(document_, entry)) {
                ok = refused(yaml::read_key(document_, entry.key_event, place.path, yaml::KeyOf::Record),
                             entry.key_event, place, std::nullopt) && ok;
                continue;
            }
            const std::optional<std::size_t> index = field_index<Record>(entry.key);
            if (!index) continue;
            if (seen[*index]) {
                record_refusal(entry.key_mark(document_), Extent::Node, start, yaml::Cause::DuplicateField,
                               yaml::message::duplicate_field(entry.key), place, entry.key);
                ok = false;
                continue;
            }
            seen[*index] = true;
            ok = field_value(entry, place, out) && ok;
        }
        return missing_fields<Record>(seen, start, place) && ok;
    }

    template <class Record>
    bool missing_fields(const std::array<bool, schema::field_count<Record>>& seen, const yaml::Event& start,
                        const Place& place) {
        bool ok = true;
        schema::find_field<Record>([&](const auto& field, std::size_t index) {
            if (field.required && !seen[index]) {
                record_refusal(start.mark(), Extent::None, start, yaml::Cause::MissingField,
                               yaml::message::missing_field(field.key()), place, field.key());
                ok = false;
            }
            return false;
        });
        return ok;
    }

    // The value of a known field: a scalar read as reading reads it, a
    // record or the reader map walked in turn.
    template <class Record>
    bool field_value(const KeyAt& entry, const Place& place, Record& out) {
        if (!spend(entry)) return false;
        bool ok = true;
        schema::find_field<Record>([&](const auto& field, std::size_t) {
            if (field.key() != entry.key) return false;
            using Value = typename std::remove_cvref_t<decltype(field)>::value_type;
            if constexpr (std::is_same_v<Value, schema::ReaderMap>) {
                if (yaml::holds_entries(document_, entry.value)) {
                    ok = reader_map(entry, place);
                    return true;
                }
            } else if constexpr (schema::natural_kind<Value>() == ValueKind::Record) {
                if (yaml::holds_entries(document_, entry.value)) {
                    const Path path = place.path.child(entry.key);
                    const Place inner{path, place.scope, std::nullopt, place.note};
                    Entries fields;
                    ok = record(entry.value, inner, field.of(out), fields);
                    return true;
                }
            }
            ok = refused(yaml::read_field(document_, entry.value, entry.key, place.path, out), entry.value, place,
                         entry.key);
            return true;
        });
        return ok;
    }

    bool reader_map(const KeyAt& readers, const Place& place) {
        const Path path = place.path.child(readers.key);
        const Place map_place{path, place.scope, std::nullopt, place.note};
        const Entries entries = yaml::mapping_entries(document_, readers.value);
        if (place.scope == Scope::Everything) {
            detect(MappingSite{document_, entries, MappingKind::Map, {}, map_place}, report_);
        }
        auto last = last_entries(document_, entries);
        bool ok = true;
        for (std::size_t index = 0; index < entries.size(); ++index) {
            const KeyAt& entry = entries[index];
            if (exhausted_) return false;
            if (!is_scalar_key(document_, entry)) {
                const auto refusal = yaml::read_key(document_, entry.key_event, path, yaml::KeyOf::Map);
                ok = refused(refusal, entry.key_event, map_place, std::nullopt) && ok;
                continue;
            }
            ok = reader(entry, map_place, entries[last.at(index)]) && ok;
        }
        return ok;
    }

    // A reader; reading keeps the one given last with its id (`kept`).
    bool reader(const KeyAt& entry, const Place& readers, const KeyAt& kept) {
        const Path path = readers.path.child(entry.key);
        const std::string note = readers.note.empty() ? dropped_note(document_, entry, kept) : readers.note;
        const Place place{path, readers.scope, entry.key, note};
        schema::ReaderConfig config;
        Entries& fields = reader_fields_;
        if (!map_entry(entry, place, config, fields)) return false;
        if (place.scope == Scope::Everything) detect(ReaderSite{document_, entry, config, fields, place}, report_);
        return true;
    }
};

}  // namespace

void walk(const yaml::Document& document, Report& report) { Walk(document, report).top_level(); }

}  // namespace brintel::cli
