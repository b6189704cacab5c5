#include "yaml/document.hpp"

#include "yaml/libyaml.hpp"
#include "yaml/messages.hpp"
#include "yaml/positions.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

namespace brintel::yaml {
namespace {

constexpr std::uint64_t max_encoded = std::numeric_limits<std::uint32_t>::max();
// Escapes make a scalar's text at most half as long again as its source
// ("\\P" gives three bytes) and a byte gives a few events at most, so the
// 32-bit offsets hold whatever a manifest within the bound gives.
static_assert(max_manifest_bytes * 16 < max_encoded);

// libyaml's scanner checks every open flow level at every token, so deep
// flow nesting costs quadratic time (100,000 levels: most of a minute).
// Manifests nest a handful of levels; anything this deep is refused.
constexpr std::size_t max_depth = 1000;

constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

std::uint32_t saturated(std::size_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, max_encoded));
}

Tag classify_tag(const yaml_char_t* raw) {
    if (!raw) return Tag::None;
    const std::string_view tag(reinterpret_cast<const char*>(raw));
    if (tag == "tag:yaml.org,2002:null") return Tag::Null;
    if (tag == "tag:yaml.org,2002:bool") return Tag::Bool;
    if (tag == "tag:yaml.org,2002:int") return Tag::Int;
    if (tag == "tag:yaml.org,2002:float") return Tag::Float;
    if (tag.starts_with('!')) return Tag::Local;
    return Tag::Other;
}

ScalarStyle style_of(yaml_scalar_style_t style) {
    switch (style) {
    case YAML_SINGLE_QUOTED_SCALAR_STYLE: return ScalarStyle::SingleQuoted;
    case YAML_DOUBLE_QUOTED_SCALAR_STYLE: return ScalarStyle::DoubleQuoted;
    case YAML_LITERAL_SCALAR_STYLE: return ScalarStyle::Literal;
    case YAML_FOLDED_SCALAR_STYLE: return ScalarStyle::Folded;
    default: return ScalarStyle::Plain;
    }
}

// The events a document keeps; the others (stream and document bounds)
// only steer loading.
bool is_kept(yaml_event_type_t type) {
    switch (type) {
    case YAML_SCALAR_EVENT:
    case YAML_MAPPING_START_EVENT:
    case YAML_MAPPING_END_EVENT:
    case YAML_SEQUENCE_START_EVENT:
    case YAML_SEQUENCE_END_EVENT:
    case YAML_ALIAS_EVENT: return true;
    default: return false;
    }
}

std::string mark_suffix(const yaml_mark_t& mark) {
    if (mark.line != 0 || mark.column != 0) return message::position_suffix(mark.line, mark.column);
    if (mark.index != 0) return message::offset_suffix(mark.index);
    return {};
}

Mark mark_of(const yaml_mark_t& mark) { return {saturated(mark.line), saturated(mark.column)}; }

// Sets `parser` to read `input` from memory.
void start_parsing(Parser& parser, std::string_view input) {
    if (!parser.ready()) throw std::bad_alloc();
    // No encoding is forced: libyaml then recognises and skips a byte-order
    // mark, which would otherwise count as the first column.
    yaml_parser_set_input_string(parser.get(), reinterpret_cast<const unsigned char*>(input.data()), input.size());
}

// The text the parser was given (from memory, as it always is here).
std::string_view parsed_input(const yaml_parser_t& parser) {
    const auto& input = parser.input.string;
    return {reinterpret_cast<const char*>(input.start), static_cast<std::size_t>(input.end - input.start)};
}

// The parser's problem, its position, and its context if it gave one.
Failure parse_failure(const yaml_parser_t& parser) {
    if (parser.error == YAML_MEMORY_ERROR) throw std::bad_alloc();
    yaml_mark_t problem_mark = parser.problem_mark;
    // The reader reports a byte offset only: the text names that offset, and
    // the failure stands at its line and column.
    const bool offset_only = parser.error == YAML_READER_ERROR;
    if (offset_only) problem_mark = {parser.problem_offset, 0, 0};
    const yaml_mark_t& context = parser.context_mark;
    const bool same = context.line == problem_mark.line && context.column == problem_mark.column;
    return {message::parse_problem(parser.problem ? parser.problem : message::unknown_parse_problem,
                                   mark_suffix(problem_mark), parser.context ? parser.context : "",
                                   same ? std::string() : message::position_suffix(context.line, context.column)),
            offset_only ? mark_at(parsed_input(parser), parser.problem_offset) : mark_of(problem_mark)};
}

Failure failure_at(std::string message, const yaml_mark_t& mark) {
    message += message::position_suffix(mark.line, mark.column);
    return {std::move(message), mark_of(mark)};
}

// The positions of the first `count` events a document keeps, found by
// parsing `input` again as loading did.
std::vector<Mark> event_marks(std::string_view input, std::size_t count) {
    std::vector<Mark> marks;
    marks.reserve(count);
    Parser parser;
    start_parsing(parser, input);
    while (marks.size() < count) {
        ParsedEvent event;
        if (!event.parse(parser)) {
            if (parser.state().error == YAML_MEMORY_ERROR) throw std::bad_alloc();
            break;  // not before `count` events: they were all parsed once
        }
        if (is_kept((*event).type)) marks.push_back(mark_of((*event).start_mark));
    }
    marks.resize(count);
    return marks;
}

// The byte offsets of libyaml's marks, which count characters (after a
// UTF-8 byte-order mark, which it skips). Marks come nearly in order, so
// one cursor walks from each to the next; up to the first byte that is not
// ASCII, characters are bytes and nothing walks.
class ByteOffsets {
public:
    explicit ByteOffsets(std::string_view input)
        : input_(input),
          first_(input.starts_with(utf8_byte_order_mark) ? utf8_byte_order_mark.size() : 0),
          ascii_end_(first_non_ascii(input, first_)),
          character_(ascii_end_ - first_),
          byte_(ascii_end_) {}

    std::size_t of(std::size_t character) {
        if (character <= ascii_end_ - first_) return first_ + character;
        while (character_ < character && byte_ < input_.size()) {
            do ++byte_;
            while (byte_ < input_.size() && continues(input_[byte_]));
            ++character_;
        }
        while (character_ > character && byte_ > 0) {
            do --byte_;
            while (byte_ > 0 && continues(input_[byte_]));
            --character_;
        }
        return byte_;
    }

private:
    static bool continues(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

    std::string_view input_;
    std::size_t first_;      // where the first character starts
    std::size_t ascii_end_;  // the first byte that is not ASCII
    std::size_t character_;  // the cursor, as a character count and as a byte offset
    std::size_t byte_;
};

// libyaml reads a text that opens with a UTF-16 byte-order mark as UTF-16
// and hands out its scalars in UTF-8: none of them is a view of the input.
bool read_as_utf16(std::string_view input) { return input.starts_with("\xFF\xFE") || input.starts_with("\xFE\xFF"); }

}  // namespace

Mark Events::mark(std::size_t index) const {
    if (marks_.size() != stored_.size()) marks_ = event_marks(input_, stored_.size());
    return marks_[index];
}

Event Events::operator[](std::size_t index) const {
    const StoredEvent& event = stored_[index];
    const Mark at = mark(index);
    const std::string_view scalar = event.kind() == EventKind::Scalar ? text(event) : std::string_view();
    return {event.offset_, static_cast<std::uint32_t>(scalar.size()), event.kind(), event.style(), event.tag(),
            at.line, at.column, scalar};
}

std::string_view Events::copied_text(const StoredEvent& event) const {
    const char* at = copied_.data() + event.offset_;
    if (event.length_ != StoredEvent::long_text) return {at, event.length_};
    std::uint32_t length = 0;
    std::memcpy(&length, at, sizeof length);
    return {at + sizeof length, length};
}

class Collector {
public:
    // The event encoding has 32-bit offsets; unwinds out of the parse loop.
    struct TooLarge {};

    Collector(Loaded& out, std::string_view input, Positions positions)
        : out_(out),
          events_(out.document.events),
          offsets_(input),
          views_(!read_as_utf16(input)),
          keep_positions_(positions == Positions::Keep) {
        events_.input_ = input;
        // Typical manifests have an event every 10 to 15 bytes; untouched
        // capacity costs address space, not memory.
        const std::size_t expected = input.size() / 8 + 16;
        events_.stored_.reserve(expected);
        if (keep_positions_) events_.marks_.reserve(expected);
    }

    // False when loading must stop (a failure is then set, or the stream ended).
    bool take(const yaml_event_t& event) {
        switch (event.type) {
        case YAML_SCALAR_EVENT: return scalar(event);
        case YAML_MAPPING_START_EVENT:
            return node(event, EventKind::MappingStart, event.data.mapping_start.anchor);
        case YAML_SEQUENCE_START_EVENT:
            return node(event, EventKind::SequenceStart, event.data.sequence_start.anchor);
        case YAML_MAPPING_END_EVENT: return node(event, EventKind::MappingEnd, nullptr);
        case YAML_SEQUENCE_END_EVENT: return node(event, EventKind::SequenceEnd, nullptr);
        case YAML_ALIAS_EVENT: return alias(event);
        case YAML_DOCUMENT_START_EVENT: return document_start();
        case YAML_STREAM_END_EVENT: out_.document.empty_stream = !seen_document_; return false;
        default: return true;
        }
    }

private:
    bool document_start() {
        if (seen_document_) {
            out_.document.more_documents = true;
            return false;
        }
        seen_document_ = true;
        return true;
    }

    StoredEvent& push(const yaml_event_t& source, EventKind kind) {
        if (events_.stored_.size() >= max_encoded) throw_too_large();
        if (keep_positions_) events_.marks_.push_back(mark_of(source.start_mark));
        StoredEvent& event = events_.stored_.emplace_back();
        event.kind_ = static_cast<std::uint32_t>(kind);
        return event;
    }

    void remember_anchor(const yaml_char_t* anchor) {
        if (!anchor) return;
        const auto index = static_cast<std::uint32_t>(events_.stored_.size() - 1);
        anchors_.insert_or_assign(reinterpret_cast<const char*>(anchor), index);
    }

    bool node(const yaml_event_t& source, EventKind kind, const yaml_char_t* anchor) {
        const bool opens = kind == EventKind::MappingStart || kind == EventKind::SequenceStart;
        if (opens && ++depth_ > max_depth) {
            out_.failure = failure_at(message::nesting_too_deep(max_depth), source.start_mark);
            return false;
        }
        if (!opens) --depth_;
        push(source, kind);
        remember_anchor(anchor);
        return true;
    }

    bool scalar(const yaml_event_t& source) {
        const auto& data = source.data.scalar;
        StoredEvent& event = push(source, EventKind::Scalar);
        event.style_ = static_cast<std::uint32_t>(style_of(data.style));
        event.tag_ = static_cast<std::uint32_t>(classify_tag(data.tag));
        place_text(event, source);
        remember_anchor(data.anchor);
        return true;
    }

    // A view where the input holds the text as it is, a copy otherwise.
    void place_text(StoredEvent& event, const yaml_event_t& source) {
        const auto& data = source.data.scalar;
        if (data.length == 0) return;
        if (data.length >= StoredEvent::long_text) return copy_long_text(event, data);
        event.length_ = static_cast<std::uint32_t>(data.length);
        if (const std::size_t start = view_start(source); start != no_view) {
            event.offset_ = static_cast<std::uint32_t>(start);
            return;
        }
        event.offset_ = copy({reinterpret_cast<const char*>(data.value), data.length});
        event.copied_ = 1;
    }

    void copy_long_text(StoredEvent& event, const decltype(yaml_event_t::data.scalar)& data) {
        if (data.length > max_encoded) throw_too_large();
        const auto length = static_cast<std::uint32_t>(data.length);
        event.offset_ = copy({reinterpret_cast<const char*>(&length), sizeof length});
        copy({reinterpret_cast<const char*>(data.value), data.length});
        event.length_ = StoredEvent::long_text;
        event.copied_ = 1;
    }

    // Where `text` now starts in the copied texts.
    std::uint32_t copy(std::string_view text) {
        std::string& copied = events_.copied_;
        if (copied.size() + text.size() > max_encoded) throw_too_large();
        const auto offset = static_cast<std::uint32_t>(copied.size());
        copied.append(text);
        return offset;
    }

    static constexpr std::size_t no_view = std::numeric_limits<std::size_t>::max();

    // Where the input holds a scalar's text: a plain scalar's text ends where
    // its event does, a quoted one's just before the closing quote. A plain
    // scalar on one line is its source exactly; any other candidate (escapes,
    // folded lines, an anchor on a line of its own) is compared first.
    std::size_t view_start(const yaml_event_t& source) {
        const auto& data = source.data.scalar;
        const bool plain = data.style == YAML_PLAIN_SCALAR_STYLE;
        const bool quoted = data.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || data.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
        if (!views_ || !(plain || quoted)) return no_view;
        const std::string_view input = events_.input_;
        std::size_t end = offsets_.of(source.end_mark.index);
        if (quoted && end > 0) --end;
        if (end > input.size() || end < data.length) return no_view;
        const std::size_t start = end - data.length;
        const bool verbatim = plain && source.start_mark.line == source.end_mark.line;
        if (!verbatim && std::memcmp(input.data() + start, data.value, data.length) != 0) return no_view;
        return start;
    }

    bool alias(const yaml_event_t& source) {
        const auto found = anchors_.find(reinterpret_cast<const char*>(source.data.alias.anchor));
        if (found == anchors_.end()) {
            out_.failure = failure_at(std::string(message::unknown_anchor), source.start_mark);
            return false;
        }
        push(source, EventKind::Alias).offset_ = found->second;
        return true;
    }

    [[noreturn]] static void throw_too_large() { throw TooLarge{}; }

    Loaded& out_;
    Events& events_;
    ByteOffsets offsets_;
    std::unordered_map<std::string, std::uint32_t> anchors_;
    std::size_t depth_ = 0;
    bool seen_document_ = false;
    bool views_;
    bool keep_positions_;
};

Loaded load_first_document(std::string_view input, Positions positions) {
    Loaded out;
    if (input.size() > max_manifest_bytes) {
        out.failure = Failure{message::too_large(), {}};
        return out;
    }
    Parser parser;
    start_parsing(parser, input);
    Collector collector(out, input, positions);
    try {
        for (;;) {
            ParsedEvent event;
            if (!event.parse(parser)) {
                out.document.parse_error = parse_failure(parser.state());
                break;
            }
            if (!collector.take(*event)) break;
        }
    } catch (const Collector::TooLarge&) {
        out.failure = Failure{message::too_large(), {}};
    }
    return out;
}

}  // namespace brintel::yaml
