#include "cli/lint.hpp"

#include "cli/suggest.hpp"
#include "cli/texts.hpp"

#include "schema/manifest/messages.hpp"
#include "schema/validate.hpp"
#include "yaml/keys.hpp"
#include "yaml/messages.hpp"
#include "yaml/read.hpp"

#include <algorithm>
#include <array>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace brintel::cli {
namespace {

using schema::OptionManifestConfig;
using schema::ValueKind;
using yaml::KeyAt;
using yaml::Path;
using Entries = std::vector<KeyAt>;

constexpr std::string_view readers_key = schema::field_of(&OptionManifestConfig::readers_config).key();

Finding located(yaml::Mark mark, Rule rule, std::string message) {
    return {std::uint64_t{mark.line} + 1, std::uint64_t{mark.column} + 1, rule, std::nullopt, std::nullopt,
            std::move(message), {}};
}

std::string reading_error(std::string text) {
    return errors::ConfigError(errors::ErrorKind::Serialization, std::move(text)).display();
}

Rule rule_of(yaml::Cause cause) {
    switch (cause) {
    case yaml::Cause::WrongType: return Rule::WrongType;
    case yaml::Cause::MissingField: return Rule::MissingField;
    case yaml::Cause::DuplicateField: return Rule::DuplicateField;
    case yaml::Cause::Malformed: break;
    }
    return Rule::Syntax;
}

// How far the walk looks into an entry: at everything (the brintel entry
// that reading keeps), or only at what makes reading fail (other top-level
// entries, and entries that a later one with the same key replaces).
enum class Scope : std::uint8_t { ReadingOnly, Everything };

// A record or map the walk stands in, and what its findings name.
struct Place {
    const Path& path;
    std::string where;  // for people: "reader r1", "server_config", "brintel"
    Scope scope;
    bool in_product;                    // inside a brintel entry
    std::optional<std::string> reader;  // inside one of its readers: the id
};

template <class Record>
std::optional<std::size_t> field_index(std::string_view key) {
    std::optional<std::size_t> found;
    schema::find_field<Record>([&](const auto& field, std::size_t index) {
        if (field.key() != key) return false;
        found = index;
        return true;
    });
    return found;
}

// The fields that `key` may stand for: those the mapping does not have.
template <class Record>
std::vector<std::string_view> absent_fields(const Entries& entries) {
    std::vector<std::string_view> absent;
    schema::for_each_field<Record>([&](const auto& field) {
        const bool present = std::ranges::any_of(entries, [&](const KeyAt& entry) { return entry.key == field.key(); });
        if (!present) absent.push_back(field.key());
    });
    return absent;
}

// Of a repeated key, the later entry is the one that was read.
const KeyAt* last_with_key(const Entries& entries, std::string_view key) {
    const KeyAt* found = nullptr;
    for (const KeyAt& entry : entries) {
        if (entry.key == key) found = &entry;
    }
    return found;
}

// Walks a loaded document, complete or not, the way reading goes through
// it, but on past every refusal. Its depth follows the schema (document,
// entry, record, reader map, reader), never the input: values that no
// setting takes are stepped over, not entered.
class Walk {
public:
    explicit Walk(const yaml::Document& document) : document_(document) {}

    std::vector<Finding> run() && {
        top_level();
        return std::move(findings_);
    }

private:
    const yaml::Document& document_;
    std::vector<Finding> findings_;
    std::uint64_t replayed_ = 0;  // events and bytes read again through aliases
    bool exhausted_ = false;

    bool scalar_key(const KeyAt& entry) const {
        return document_.events[entry.key_event].kind == yaml::EventKind::Scalar;
    }

    bool is_merge_key(const KeyAt& entry) const {
        return entry.key == text::merge_key && document_.events[entry.key_event].style == yaml::ScalarStyle::Plain;
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
        Finding finding = located({}, Rule::Syntax, std::string(yaml::message::repetition_limit));
        finding.reading_error = reading_error(finding.message);
        findings_.push_back(std::move(finding));
        return false;
    }

    void add(Finding finding, const Place& place, std::optional<std::string_view> field) {
        if (place.in_product) finding.reader = place.reader;
        if (field) finding.field = std::string(*field);
        findings_.push_back(std::move(finding));
    }

    // Whether reading takes the piece; a finding when it does not.
    bool takes(std::optional<yaml::Refusal> refusal, const Place& place, std::optional<std::string_view> field) {
        if (!refusal) return true;
        Finding finding = located(refusal->failure.mark, rule_of(refusal->cause),
                                  yaml::message::at_value(refusal->path, refusal->message, {}));
        finding.reading_error = reading_error(std::move(refusal->failure.message));
        add(std::move(finding), place, field);
        return false;
    }

    // A refusal of the record that starts at `start`, found by the walk at
    // `at`; reading reports it at the record's start.
    void record_refusal(yaml::Mark at, const yaml::Event& start, Rule rule, std::string what, const Place& place,
                        std::string_view field) {
        const std::optional<std::string> path = yaml::message::path_text(place.path);
        Finding finding = located(at, rule, yaml::message::at_value(path, what, {}));
        const std::string position = yaml::message::position_suffix(start.line, start.column);
        finding.reading_error = reading_error(yaml::message::at_value(path, what, position));
        add(std::move(finding), place, field);
    }

    void top_level() {
        if (document_.events.empty()) return;
        const Path root = Path::root();
        const Place top{root, {}, Scope::ReadingOnly, false, std::nullopt};
        if (!yaml::holds_entries(document_, yaml::root_value)) {
            takes(yaml::read_root(document_), top, std::nullopt);
            return;
        }
        const Entries entries = yaml::mapping_entries(document_, yaml::root_value);
        const KeyAt* product = last_with_key(entries, schema::product_key);
        const KeyAt* first_product = nullptr;
        for (const KeyAt& entry : entries) {
            top_level_entry(entry, top, product, first_product);
            if (exhausted_) return;
        }
        if (!product) {
            Finding finding = located({}, Rule::NoProductKey, std::string(schema::message::no_product_key));
            finding.reading_error = reading_error(finding.message);
            findings_.push_back(std::move(finding));
        }
    }

    // Every entry has the shape of the product's; `product` is the one that
    // reading keeps, `first_product` the first one met so far.
    void top_level_entry(const KeyAt& entry, const Place& top, const KeyAt* product, const KeyAt*& first_product) {
        if (!scalar_key(entry)) {
            takes(yaml::read_key(document_, entry.key_event, top.path, yaml::KeyOf::Map), top, std::nullopt);
            return;
        }
        const bool is_product = entry.key == schema::product_key;
        if (is_product && first_product) {
            const std::string message = text::duplicate_key(entry.key, {}, first_product->key_mark);
            add(located(entry.key_mark, Rule::DuplicateKey, message), top, std::nullopt);
        }
        if (is_product && !first_product) first_product = &entry;
        if (is_merge_key(entry)) {
            const std::string message = text::merge_key_unapplied({}, text::merge_as_entry);
            add(located(entry.key_mark, Rule::MergeKey, message), top, std::nullopt);
        }
        const Path path = top.path.child(entry.key);
        const Scope scope = &entry == product ? Scope::Everything : Scope::ReadingOnly;
        const Place place{path, text::printable(entry.key), scope, is_product, std::nullopt};
        OptionManifestConfig manifest_entry;
        Entries fields;
        map_entry(entry, place, manifest_entry, fields);
    }

    // An entry of a map: a record of type Entry at `place.path`.
    template <class Entry>
    bool map_entry(const KeyAt& entry, const Place& place, Entry& out, Entries& fields) {
        if (!spend(entry)) return false;
        if (!yaml::holds_entries(document_, entry.value)) {
            return takes(yaml::read_entry(document_, entry.value, place.path, out), place, std::nullopt);
        }
        return record(entry.value, place, out, fields);
    }

    // The record whose mapping starts at `value`; its entries go to `entries`.
    template <class Record>
    bool record(std::size_t value, const Place& place, Record& out, Entries& entries) {
        entries = yaml::mapping_entries(document_, value);
        const yaml::Event& start = document_.events[value];
        std::array<bool, schema::field_count<Record>> seen{};
        std::optional<std::vector<std::string_view>> absent;  // found once, for the first unknown key
        bool ok = true;
        for (const KeyAt& entry : entries) {
            if (exhausted_) return false;
            if (!scalar_key(entry)) {
                ok = takes(yaml::read_key(document_, entry.key_event, place.path, yaml::KeyOf::Record), place,
                          std::nullopt) && ok;
                continue;
            }
            const std::optional<std::size_t> index = field_index<Record>(entry.key);
            if (!index) {
                if (place.scope != Scope::Everything) continue;
                if (!absent) absent = absent_fields<Record>(entries);
                unknown_key(entry, *absent, place);
                continue;
            }
            if (seen[*index]) {
                record_refusal(entry.key_mark, start, Rule::DuplicateField, yaml::message::duplicate_field(entry.key),
                               place, entry.key);
                ok = false;
                continue;
            }
            seen[*index] = true;
            ok = field_value(entry, place, out) && ok;
        }
        return missing_fields<Record>(seen, start, place) && ok;
    }

    // `absent`: the fields the mapping does not have, which the key may stand for.
    void unknown_key(const KeyAt& entry, const std::vector<std::string_view>& absent, const Place& place) {
        if (is_merge_key(entry)) {
            add(located(entry.key_mark, Rule::MergeKey, text::merge_key_unapplied(place.where, text::merge_ignored)),
                place, std::nullopt);
            return;
        }
        add(located(entry.key_mark, Rule::UnknownKey, text::unknown_key(entry.key, place.where, closest(entry.key, absent))),
            place, std::nullopt);
    }

    template <class Record>
    bool missing_fields(const std::array<bool, schema::field_count<Record>>& seen, const yaml::Event& start,
                        const Place& place) {
        bool ok = true;
        schema::find_field<Record>([&](const auto& field, std::size_t index) {
            if (field.required && !seen[index]) {
                record_refusal(start.mark(), start, Rule::MissingField, yaml::message::missing_field(field.key()),
                               place, field.key());
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
                    const Place inner{path, std::string(entry.key), place.scope, place.in_product, std::nullopt};
                    Entries fields;
                    ok = record(entry.value, inner, field.of(out), fields);
                    return true;
                }
            }
            ok = takes(yaml::read_field(document_, entry.value, entry.key, place.path, out), place, entry.key);
            return true;
        });
        return ok;
    }

    bool reader_map(const KeyAt& readers, const Place& place) {
        const Path path = place.path.child(readers.key);
        const Place map_place{path, std::string(readers_key), place.scope, place.in_product, std::nullopt};
        const Entries entries = yaml::mapping_entries(document_, readers.value);
        std::unordered_map<std::string_view, const KeyAt*> first;
        std::unordered_map<std::string_view, const KeyAt*> last;
        for (const KeyAt& entry : entries) {
            if (!scalar_key(entry)) continue;
            first.try_emplace(entry.key, &entry);
            last.insert_or_assign(entry.key, &entry);
        }
        bool ok = true;
        for (const KeyAt& entry : entries) {
            if (exhausted_) return false;
            if (!scalar_key(entry)) {
                const auto refusal = yaml::read_key(document_, entry.key_event, path, yaml::KeyOf::Map);
                ok = takes(refusal, map_place, std::nullopt) && ok;
                continue;
            }
            ok = reader(entry, map_place, first.at(entry.key), last.at(entry.key) == &entry) && ok;
        }
        return ok;
    }

    // A reader whose id was first given at `first`; reading keeps the one
    // given last (`kept`).
    bool reader(const KeyAt& entry, const Place& readers, const KeyAt* first, bool kept) {
        const bool examined = readers.scope == Scope::Everything;
        const Path path = readers.path.child(entry.key);
        const Scope scope = examined && kept ? Scope::Everything : Scope::ReadingOnly;
        const Place place{path, text::in_reader(entry.key), scope, readers.in_product, std::string(entry.key)};
        if (examined && first != &entry) {
            const std::string message = text::duplicate_key(entry.key, readers_key, first->key_mark);
            add(located(entry.key_mark, Rule::DuplicateKey, message), place, std::nullopt);
        }
        if (examined && is_merge_key(entry)) {
            const std::string message = text::merge_key_unapplied(readers_key, text::merge_as_reader);
            add(located(entry.key_mark, Rule::MergeKey, message), place, std::nullopt);
        }
        schema::ReaderConfig config;
        Entries fields;
        if (!map_entry(entry, place, config, fields)) return false;
        if (place.scope == Scope::Everything) validate(entry, config, fields, place);
        return true;
    }

    // Each finding at the value of the field it names, or at the reader's
    // key when the reader does not write that field or the finding is about
    // the whole reader.
    void validate(const KeyAt& at, const schema::ReaderConfig& config, const Entries& fields, const Place& place) {
        const errors::Status status = schema::validate(config);
        if (status) return;
        for (const errors::ValidationError& problem : status.error().findings()) {
            std::optional<std::string_view> field;
            if (problem.field.which == errors::Where::Case::Field) field = problem.field.field;
            const KeyAt* value = field ? last_with_key(fields, *field) : nullptr;
            add(located(value ? value->value_mark : at.key_mark, Rule::Validation,
                        text::reader_finding(readers_key, at.key, field, problem.error_type.reason)),
                place, field);
        }
    }
};

// The refusal of reading that the walk did not meet, or could not go to.
Finding reading_failure(const schema::InspectedManifest& manifest) {
    const errors::ConfigError& error = manifest.entry.error();
    if (!manifest.failed_at) return located({}, Rule::NoProductKey, error.text());
    Finding finding = located(manifest.failed_at->mark, rule_of(manifest.failed_at->cause), error.text());
    const std::vector<std::string>& keys = manifest.failed_at->keys;
    if (keys.size() >= 3 && keys[0] == schema::product_key && keys[1] == readers_key) {
        finding.reader = keys[2];
        if (keys.size() > 3) finding.field = keys[3];
    }
    return finding;
}

bool is_well_formed(const yaml::Loaded& loaded) {
    return !loaded.failure && !loaded.document.parse_error && !loaded.document.empty_stream;
}

}  // namespace

std::vector<Finding> lint(const schema::InspectedManifest& manifest) {
    const yaml::Document& document = manifest.loaded.document;
    // Past a syntax error nothing can be told: records stop short of their
    // keys. The walk goes over well-formed documents only.
    std::vector<Finding> findings;
    if (is_well_formed(manifest.loaded)) findings = Walk(document).run();
    if (!manifest.entry) {
        const std::string error = manifest.entry.error().display();
        const bool met = std::ranges::any_of(findings, [&](const Finding& f) { return f.reading_error == error; });
        if (!met) findings.push_back(reading_failure(manifest));
        const auto& syntax = document.parse_error;
        if (syntax && error != reading_error(syntax->message)) {
            findings.push_back(located(syntax->mark, Rule::Syntax, syntax->message));
        }
    }
    std::ranges::stable_sort(findings, {}, [](const Finding& f) { return std::pair(f.line, f.column); });
    return findings;
}

Finding unreadable_finding(const schema::Unreadable& unreadable) {
    return located(unreadable.mark, Rule::Unreadable, text::unreadable(unreadable.reason));
}

}  // namespace brintel::cli
