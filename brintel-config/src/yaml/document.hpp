// The first document of a YAML text as a flat list of events.
//
// Records are filled from this list in one forward pass (plus alias jumps),
// so nothing about the input's shape is recursive. Scalar texts live in one
// buffer; an event is 20 bytes.
#pragma once

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

struct Event {
    std::uint32_t text_offset;  // scalar: into Document::text; alias: the anchored event's index
    std::uint32_t text_length;
    std::uint32_t line;  // of the event's start, 0-based
    std::uint32_t column;
    EventKind kind;
    ScalarStyle style;
    Tag tag;

    Mark mark() const { return {line, column}; }
    // Nothing after a key's colon: where a mapping is expected, reading
    // takes it for one without entries.
    bool is_empty_plain() const {
        return kind == EventKind::Scalar && style == ScalarStyle::Plain && text_length == 0;
    }
};

struct Document {
    std::vector<Event> events;
    std::string text;  // the scalar texts, back to back

    // Set when the parser stopped before the document was complete, or met
    // an error right after it.
    std::optional<Failure> parse_error;
    bool more_documents = false;
    bool empty_stream = false;  // no document at all

    std::string_view scalar(const Event& event) const {
        return std::string_view(text).substr(event.text_offset, event.text_length);
    }
};

// Parses `input` (UTF-8). Three refusals end loading here: an alias of an
// anchor never defined, nesting deeper than the reader takes, and an input larger than
// max_manifest_bytes. Every other problem, a syntax error included, is recorded
// in the document for the reader to report in its turn.
struct Loaded {
    Document document;
    std::optional<Failure> failure;  // one that ends loading before reading can start
};
Loaded load_first_document(std::string_view input);

}  // namespace brintel::yaml
