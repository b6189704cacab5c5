// The first document of a YAML text as a flat list of events.
//
// Records are filled from this list in one forward pass (plus alias jumps),
// so nothing about the input's shape is recursive. An event is kept in 8
// bytes: a scalar's text is a view of the input wherever the input holds it
// verbatim (a copy only for escapes, folded lines and the like), and
// positions are found again when something asks for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::yaml {

// The most a manifest may hold. A manifest of 100,000 readers is about
// 30 MB; what is larger is no manifest. Loading refuses it, and manifest
// files are refused at this size before a byte more is read.
inline constexpr std::uint64_t max_manifest_bytes = std::uint64_t{64} << 20;

// A position as libyaml counts it: line and column from 0.
struct Mark {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
};

// A refusal: its one-line text and the position that text names (line 0
// column 0 when it names none; the line and column of a byte offset).
struct Failure {
    std::string message;
    Mark mark;
};

enum class EventKind : std::uint8_t { Scalar, MappingStart, MappingEnd, SequenceStart, SequenceEnd, Alias };

enum class ScalarStyle : std::uint8_t { Plain, SingleQuoted, DoubleQuoted, Literal, Folded };

// The tags that change how a scalar is read or described.
enum class Tag : std::uint8_t { None, Null, Bool, Int, Float, Local, Other };

// Nothing after a key's colon: where a mapping is expected, reading takes
// it for one without entries.
constexpr bool is_empty_plain(EventKind kind, ScalarStyle style, std::size_t text_length) {
    return kind == EventKind::Scalar && style == ScalarStyle::Plain && text_length == 0;
}

// An event as the document keeps it: eight bytes.
class StoredEvent {
public:
    EventKind kind() const { return static_cast<EventKind>(kind_); }
    ScalarStyle style() const { return static_cast<ScalarStyle>(style_); }
    Tag tag() const { return static_cast<Tag>(tag_); }
    // Alias: the index of the event its anchor named.
    std::uint32_t target() const { return offset_; }

    bool is_empty_plain() const { return yaml::is_empty_plain(kind(), style(), length_); }

private:
    friend class Events;
    friend class Collector;

    static constexpr unsigned length_bits = 22;
    static constexpr unsigned enum_bits = 3;
    static_assert(static_cast<unsigned>(EventKind::Alias) >> enum_bits == 0 &&
                      static_cast<unsigned>(ScalarStyle::Folded) >> enum_bits == 0 &&
                      static_cast<unsigned>(Tag::Other) >> enum_bits == 0,
                  "every kind, style and tag fits its bits");

    // A text this long or longer has its length in front of it, in the
    // copied texts; 4 MiB, far beyond any setting.
    static constexpr std::uint32_t long_text = (1u << length_bits) - 1;

    std::uint32_t offset_ = 0;  // scalar: into the input or the copied texts; alias: see target()
    std::uint32_t length_ : length_bits = 0;
    std::uint32_t kind_ : enum_bits = 0;
    std::uint32_t style_ : enum_bits = 0;
    std::uint32_t tag_ : enum_bits = 0;
    std::uint32_t copied_ : 1 = 0;  // the text is not a view of the input
};

// With the input itself, a loaded document stays within twice the size of
// its text.
static_assert(sizeof(StoredEvent) == 8);

// An event with its text and its position (that of its first character:
// an anchor or tag, a quote, a mapping's first key).
struct Event {
    std::uint32_t text_offset;  // alias: the anchored event's index
    std::uint32_t text_length;
    EventKind kind;
    ScalarStyle style;
    Tag tag;
    std::uint32_t line;
    std::uint32_t column;
    std::string_view text;  // a scalar's

    Mark mark() const { return {line, column}; }
    bool is_empty_plain() const { return yaml::is_empty_plain(kind, style, text_length); }
};

// The events of a document and the texts of its scalars. Positions are
// kept only when loading was asked to; otherwise the first one asked for
// parses the input once more and keeps them all from then on.
class Events {
public:
    std::size_t size() const { return stored_.size(); }
    bool empty() const { return stored_.empty(); }
    const StoredEvent& stored(std::size_t index) const { return stored_[index]; }
    Event operator[](std::size_t index) const;
    Mark mark(std::size_t index) const;

    std::string_view text(const StoredEvent& event) const {
        if (event.copied_) return copied_text(event);
        return {input_.data() + event.offset_, event.length_};
    }

private:
    friend class Collector;

    std::string_view copied_text(const StoredEvent& event) const;

    std::vector<StoredEvent> stored_;
    mutable std::vector<Mark> marks_;
    std::string_view input_;
    std::string copied_;  // the texts that are no views of the input, back to back
};

struct Document {
    Events events;

    // Set when the parser stopped before the document was complete, or met
    // an error right after it.
    std::optional<Failure> parse_error;
    bool more_documents = false;
    bool empty_stream = false;  // no document at all

    std::string_view scalar(const StoredEvent& event) const { return events.text(event); }
    std::string_view scalar(const Event& event) const { return event.text; }
};

// Whether loading keeps every event's position: for walks that point at
// many of them. Reading needs one position at most, for its refusal.
enum class Positions : std::uint8_t { OnDemand, Keep };

// Parses `input` (UTF-8), which the document refers to and which must
// outlive it. Three refusals end loading here: an alias of an anchor never
// defined, nesting deeper than the reader takes, and an input larger than
// max_manifest_bytes. Every other problem, a syntax error included, is
// recorded in the document for the reader to report in its turn.
struct Loaded {
    Document document;
    std::optional<Failure> failure;  // one that ends loading before reading can start
};
Loaded load_first_document(std::string_view input, Positions positions = Positions::OnDemand);

}  // namespace brintel::yaml
