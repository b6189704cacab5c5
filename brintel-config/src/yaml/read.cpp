#include "yaml/read.hpp"

#include "yaml/document.hpp"
#include "yaml/keys.hpp"
#include "yaml/messages.hpp"
#include "yaml/path.hpp"
#include "yaml/scalar.hpp"

#include <limits>
#include <type_traits>

namespace brintel::yaml {
namespace {

using schema::ValueKind;

// What stands at an event, in the words of "invalid type: <found>". A scalar
// whose core tag its text does not fit replaces the whole message instead.
struct Found {
    std::string words;
    std::string mismatch_message;  // set when the tag does not fit the text
};

Found tagged_scalar(Tag tag, std::string_view text) {
    auto mismatch = [&](std::string_view expected) {
        return Found{{}, message::invalid_value(message::found_string(text), expected)};
    };
    switch (tag) {
    case Tag::Bool:
        if (const auto value = parse_bool(text)) return {message::found_boolean(*value), {}};
        return mismatch(message::expected_name(ValueKind::Boolean));
    case Tag::Int:
        if (const auto value = decimal_integer(text)) return {message::found_integer(*value), {}};
        return mismatch(message::expected_integer);
    case Tag::Float:
        if (const auto value = parse_float(text)) return {message::found_float(*value), {}};
        return mismatch(message::expected_float);
    default:
        if (!text.empty() && is_null_spelling(text)) return {std::string(message::found_unit), {}};
        return mismatch(message::expected_null);
    }
}

std::string plain_scalar(std::string_view text) {
    switch (plain_meaning(text)) {
    case PlainMeaning::Null: return std::string(message::found_unit);
    case PlainMeaning::Boolean: return message::found_boolean(*parse_bool(text));
    case PlainMeaning::Integer: return message::found_integer(*decimal_integer(text));
    case PlainMeaning::Float: return message::found_float(*parse_float(text));
    case PlainMeaning::String: break;
    }
    return message::found_string(text);
}

Found describe(const StoredEvent& event, std::string_view text) {
    switch (event.kind()) {
    case EventKind::MappingStart: return {std::string(message::found_map), {}};
    case EventKind::SequenceStart: return {std::string(message::found_sequence), {}};
    case EventKind::Scalar: break;
    default: return {std::string(message::found_end_of_collection), {}};  // never at a value's place
    }
    switch (event.tag()) {
    case Tag::Null:
    case Tag::Bool:
    case Tag::Int:
    case Tag::Float: return tagged_scalar(event.tag(), text);
    case Tag::None:
    case Tag::Local:
        if (event.style() == ScalarStyle::Plain) return {plain_scalar(text), {}};
        break;
    case Tag::Other: break;
    }
    return {message::found_string(text), {}};
}

template <class T>
constexpr bool is_record = !std::is_same_v<T, std::string> && !std::is_arithmetic_v<T> &&
                           !std::is_same_v<T, schema::ReaderMap>;

// Fills records from a document's events. Every read_* consumes the events
// of exactly one value and returns false, with `error` set, on the first
// failure. Depth follows the schema (at most four levels); values of unknown
// keys are skipped without recursion.
class Cursor {
public:
    Cursor(const Document& document, const Selection& selection)
        : document_(document),
          selection_(selection),
          jump_limit_(static_cast<std::uint64_t>(document.events.size()) * 100) {}

    Refusal error;
    std::vector<std::string> error_keys;

    // Reads the one value that starts at event `index`, as if reading had
    // come to it.
    template <class Value>
    bool read_value_at(std::size_t index, Value& out, ValueKind kind, const Path& path) {
        position_ = index;
        return read_value(out, kind, path);
    }

    bool read_key_at(std::size_t index, const Path& path, std::string_view expected) {
        position_ = index;
        std::string_view key;
        bool end = false;
        return read_key(key, end, path, expected) && !end;
    }

    template <class Entry>
    bool read_map(std::unordered_map<std::string, Entry>& out, const Path& path) {
        return at_value([&] {
            const StoredEvent& start = current();
            if (start.is_empty_plain()) return advance();
            if (start.kind() != EventKind::MappingStart) {
                return type_error(path, message::expected_name(ValueKind::ReaderMap));
            }
            advance();
            Entry dropped{};  // what the entries the selection drops are read into
            for (;;) {
                std::string_view key;
                bool end = false;
                if (!read_key(key, end, path, message::expected_name(ValueKind::String))) return false;
                if (end) return true;
                const bool kept = keeping_ && keeps<Entry>(key);
                if (!(kept ? read_kept(out, key, path) : read_dropped(dropped, path.child(key)))) return false;
            }
        });
    }

private:
    const Document& document_;
    const Selection& selection_;
    std::size_t position_ = 0;
    std::uint64_t jumps_ = 0;
    std::uint64_t jump_limit_;
    std::size_t alias_depth_ = 0;
    std::uint64_t replayed_ = 0;
    // Off while reading an entry that the selection drops: its values are
    // checked as ever, but its texts are not copied.
    bool keeping_ = true;

    const StoredEvent& current() const { return document_.events.stored(position_); }
    std::string_view text(const StoredEvent& event) const { return document_.scalar(event); }
    bool advance() {
        if (alias_depth_ > 0) replayed_ += replay_cost(text(current()).size());
        ++position_;
        return true;
    }

    template <class Entry>
    bool keeps(std::string_view key) const {
        if constexpr (std::is_same_v<Entry, schema::ReaderConfig>) return selection_.keeps_reader(key);
        return !selection_.entry || key == *selection_.entry;
    }

    template <class Entry>
    bool read_kept(std::unordered_map<std::string, Entry>& out, std::string_view key, const Path& path) {
        Entry entry{};
        if (!read_record(entry, path.child(key))) return false;
        out.insert_or_assign(std::string(key), std::move(entry));
        return true;
    }

    // Reads an entry only to check it, into `scratch`: what a dropped entry
    // leaves there is never looked at.
    template <class Entry>
    bool read_dropped(Entry& scratch, const Path& path) {
        const bool keeping = keeping_;
        keeping_ = false;
        const bool ok = read_record(scratch, path);
        keeping_ = keeping;
        return ok;
    }

    // Refusals are out of line, so that building their texts does not
    // weigh on the reading functions that are inlined on the way to them.

    // Running out of events: the parse error that cut the document short,
    // or a document that simply ended.
    [[gnu::cold, gnu::noinline]] bool past_end() {
        return malformed(document_.parse_error.value_or(Failure{std::string(message::end_of_input), {}}));
    }

    [[gnu::cold, gnu::noinline]] bool malformed(Failure failure) {
        error = {failure, failure.message, {}, Cause::Malformed};
        return false;
    }

    // A refusal at the event `at`.
    [[gnu::cold, gnu::noinline]] bool fail(const Path& path, std::size_t at, std::string_view what, Cause cause) {
        std::optional<std::string> path_text = message::path_text(path);
        const Mark mark = document_.events.mark(at);
        Failure failure{message::at_value(path_text, what, message::position_suffix(mark.line, mark.column)), mark};
        error = {std::move(failure), std::string(what), std::move(path_text), cause};
        error_keys = path.keys();
        return false;
    }

    // What stands at the cursor is not what `expected` names.
    [[gnu::cold, gnu::noinline]] bool type_error(const Path& path, std::string_view expected) {
        const StoredEvent& at = current();
        Found found = describe(at, text(at));
        if (!found.mismatch_message.empty()) return fail(path, position_, found.mismatch_message, Cause::WrongType);
        return fail(path, position_, message::invalid_type(found.words, expected), Cause::WrongType);
    }

    // Runs `read` at the value under the cursor, following an alias to the
    // anchored event and coming back after it.
    template <class Read>
    bool at_value(Read&& read) {
        if (position_ >= document_.events.size()) return past_end();
        if (replayed_ > replay_limit) return repetition_limit();
        if (current().kind() != EventKind::Alias) return read();
        if (++jumps_ > jump_limit_) return repetition_limit();
        const std::size_t resume = position_ + 1;
        position_ = current().target();
        ++alias_depth_;
        const bool ok = read();
        --alias_depth_;
        position_ = resume;
        return ok;
    }

    [[gnu::cold, gnu::noinline]] bool repetition_limit() {
        return malformed({std::string(message::repetition_limit), {}});
    }

    // The next key of a mapping as text, or `end` at the mapping's end.
    bool read_key(std::string_view& key, bool& end, const Path& path, std::string_view expected) {
        if (position_ >= document_.events.size()) return past_end();
        if (current().kind() == EventKind::MappingEnd) {
            end = true;
            return advance();
        }
        return at_value([&] {
            const StoredEvent& event = current();
            if (event.kind() != EventKind::Scalar) return type_error(path, expected);
            key = text(event);
            return advance();
        });
    }

    // Consumes one value of any shape, unread; aliases are not followed. A
    // value that reaches the last event is cut short: its mapping's end
    // would follow.
    bool skip_value() {
        const std::size_t end = value_end(document_, position_);
        if (end >= document_.events.size()) return past_end();
        while (position_ < end) advance();
        return true;
    }

    template <class Record>
    bool read_record(Record& out, const Path& path) {
        return at_value([&] { return read_record_here(out, path); });
    }

    template <class Record>
    bool read_record_here(Record& out, const Path& path) {
        static_assert(schema::field_count<Record> < 32);
        const std::size_t start = position_;
        std::uint32_t seen = 0;
        if (current().is_empty_plain()) {
            advance();
        } else if (current().kind() != EventKind::MappingStart) {
            return type_error(path, message::expected_record(schema::RecordSchema<Record>::name));
        } else {
            advance();
            if (!read_entries(out, path, start, seen)) return false;
        }
        return check_required<Record>(seen, path, start);
    }

    template <class Record>
    bool read_entries(Record& out, const Path& path, std::size_t start, std::uint32_t& seen) {
        for (;;) {
            std::string_view key;
            bool end = false;
            if (!read_key(key, end, path, message::expected_key)) return false;
            if (end) return true;
            bool ok = true;
            const bool known = schema::visit_field_named<Record>(key, [&](const auto& field, std::size_t index) {
                const std::uint32_t bit = 1u << index;
                if (seen & bit) {
                    ok = fail(path, start, message::duplicate_field(key), Cause::DuplicateField);
                } else {
                    seen |= bit;
                    ok = read_value(field.of(out), field.kind, path.child(key));
                }
            });
            if (!known) ok = skip_value();
            if (!ok) return false;
        }
    }

    template <class Record>
    bool check_required(std::uint32_t seen, const Path& path, std::size_t start) {
        bool ok = true;
        schema::find_field<Record>([&](const auto& field, std::size_t index) {
            if (!field.required || (seen & (1u << index))) return false;
            ok = fail(path, start, message::missing_field(field.key()), Cause::MissingField);
            return true;
        });
        return ok;
    }

    template <class T>
    bool read_value(std::optional<T>& out, ValueKind kind, const Path& path) {
        return at_value([&] {
            const StoredEvent& event = current();
            if (event.kind() == EventKind::Scalar && event.style() == ScalarStyle::Plain) {
                const std::string_view value = text(event);
                if (event.tag() == Tag::None && is_null_spelling(value)) {
                    out.reset();
                    return advance();
                }
                if (event.tag() == Tag::Null) {
                    if (value.empty() || !is_null_spelling(value)) {
                        return fail(path, position_,
                                    message::invalid_value(message::found_string(value), message::expected_null),
                                    Cause::WrongType);
                    }
                    out.reset();
                    return advance();
                }
            }
            if (read_value(out.emplace(), kind, path)) return true;
            out.reset();
            return false;
        });
    }

    bool read_value(std::string& out, ValueKind kind, const Path& path) {
        return at_value([&] {
            const StoredEvent& event = current();
            if (event.kind() != EventKind::Scalar) return type_error(path, message::expected_name(kind));
            if (keeping_) out.assign(text(event));
            return advance();
        });
    }

    bool read_value(bool& out, ValueKind kind, const Path& path) {
        return at_value([&] {
            const StoredEvent& event = current();
            if (takes_typed(event, Tag::Bool)) {
                if (const auto value = parse_bool(text(event))) {
                    out = *value;
                    return advance();
                }
            }
            return type_error(path, message::expected_name(kind));
        });
    }

    template <class T>
        requires std::is_unsigned_v<T> && (!std::is_same_v<T, bool>)
    bool read_value(T& out, ValueKind kind, const Path& path) {
        return at_value([&] {
            const StoredEvent& event = current();
            const auto value = takes_typed(event, Tag::Int) ? parse_unsigned(text(event)) : std::nullopt;
            if (!value) return type_error(path, message::expected_name(kind));
            if (*value > std::numeric_limits<T>::max()) {
                return fail(path, position_,
                            message::invalid_value(message::found_integer({std::to_string(*value)}),
                                                   message::expected_name(kind)),
                            Cause::WrongType);
            }
            out = static_cast<T>(*value);
            return advance();
        });
    }

    bool read_value(schema::ReaderMap& out, ValueKind, const Path& path) { return read_map(out, path); }

    template <class Record>
        requires is_record<Record>
    bool read_value(Record& out, ValueKind, const Path& path) {
        return read_record(out, path);
    }

    // Numbers and booleans come from plain scalars, or from literal blocks
    // that carry the matching core tag.
    static bool takes_typed(const StoredEvent& event, Tag literal_tag) {
        if (event.kind() != EventKind::Scalar) return false;
        return event.style() == ScalarStyle::Plain ||
               (event.style() == ScalarStyle::Literal && event.tag() == literal_tag);
    }
};

errors::ConfigError yaml_error(std::string text) {
    return errors::ConfigError(errors::ErrorKind::Serialization, std::move(text));
}

// The refusal as the error callers see, noting where it happened.
errors::ConfigError refusal(Failure failure, FailureSite* site, std::vector<std::string> keys = {},
                            Cause cause = Cause::Malformed) {
    if (site) *site = {failure.mark, std::move(keys), cause};
    return yaml_error(std::move(failure.message));
}

const Selection everything;

// Reads one piece of `document` with a cursor of its own.
template <class Read>
std::optional<Refusal> read_piece(const Document& document, Read&& read) {
    Cursor cursor(document, everything);
    if (read(cursor)) return std::nullopt;
    return std::move(cursor.error);
}

}  // namespace

template <class Record>
std::optional<Refusal> read_field(const Document& document, std::size_t value, std::string_view key,
                                  const Path& record_path, Record& out) {
    return read_piece(document, [&](Cursor& cursor) {
        bool ok = true;
        schema::visit_field_named<Record>(key, [&](const auto& field, std::size_t) {
            ok = cursor.read_value_at(value, field.of(out), field.kind, record_path.child(key));
        });
        return ok;
    });
}

template <class Entry>
std::optional<Refusal> read_entry(const Document& document, std::size_t value, const Path& entry_path,
                                  Entry& out) {
    return read_piece(document, [&](Cursor& cursor) {
        return cursor.read_value_at(value, out, schema::natural_kind<Entry>(), entry_path);
    });
}

std::optional<Refusal> read_key(const Document& document, std::size_t key, const Path& path, KeyOf owner) {
    const std::string_view expected =
        owner == KeyOf::Record ? message::expected_key : message::expected_name(ValueKind::String);
    return read_piece(document, [&](Cursor& cursor) { return cursor.read_key_at(key, path, expected); });
}

std::optional<Refusal> read_root(const Document& document) {
    return read_piece(document, [&](Cursor& cursor) {
        schema::DocumentMap<schema::OptionManifestConfig> map;
        return cursor.read_map(map, Path::root());
    });
}

template <class Entry>
errors::Result<schema::DocumentMap<Entry>> read_loaded(const Loaded& loaded, Selection selection,
                                                       FailureSite* site) {
    if (loaded.failure) return refusal(*loaded.failure, site);
    const Document& document = loaded.document;
    if (document.empty_stream) return refusal({std::string(message::end_of_input), {}}, site);
    schema::DocumentMap<Entry> map;
    Cursor cursor(document, selection);
    if (!cursor.read_map(map, Path::root())) {
        return refusal(std::move(cursor.error.failure), site, std::move(cursor.error_keys), cursor.error.cause);
    }
    if (document.parse_error) return refusal(*document.parse_error, site);
    if (document.more_documents) return refusal({std::string(message::more_than_one_document), {}}, site);
    return map;
}

template <class Entry>
errors::Result<schema::DocumentMap<Entry>> read_document_map(std::string text, Selection selection) {
    // The events refer to the text: it lives until the records are read.
    const Loaded loaded = load_first_document(text);
    return read_loaded<Entry>(loaded, selection);
}

template errors::Result<schema::DocumentMap<schema::OptionManifestConfig>>
read_document_map(std::string, Selection);
template errors::Result<schema::DocumentMap<schema::ManifestConfig>>
read_document_map(std::string, Selection);
template errors::Result<schema::DocumentMap<schema::OptionManifestConfig>>
read_loaded(const Loaded&, Selection, FailureSite*);

template std::optional<Refusal> read_field(const Document&, std::size_t, std::string_view, const Path&,
                                           schema::OptionManifestConfig&);
template std::optional<Refusal> read_field(const Document&, std::size_t, std::string_view, const Path&,
                                           schema::OptionAppConfig&);
template std::optional<Refusal> read_field(const Document&, std::size_t, std::string_view, const Path&,
                                           schema::ReaderConfig&);
template std::optional<Refusal> read_entry(const Document&, std::size_t, const Path&,
                                           schema::OptionManifestConfig&);
template std::optional<Refusal> read_entry(const Document&, std::size_t, const Path&, schema::ReaderConfig&);
template std::optional<Refusal> read_entry(const Document&, std::size_t, const Path&, schema::OptionAppConfig&);

}  // namespace brintel::yaml
