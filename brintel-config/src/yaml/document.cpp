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

std::string mark_suffix(const yaml_mark_t& mark) {
    if (mark.line != 0 || mark.column != 0) return message::position_suffix(mark.line, mark.column);
    if (mark.index != 0) return message::offset_suffix(mark.index);
    return {};
}

Mark mark_of(const yaml_mark_t& mark) { return {saturated(mark.line), saturated(mark.column)}; }

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

class Collector {
public:
    // The event encoding has 32-bit offsets; unwinds out of the parse loop.
    struct TooLarge {};

    explicit Collector(Loaded& out, std::size_t input_size) : out_(out) {
        // Typical manifests have an event every 10 to 15 bytes; untouched
        // capacity costs address space, not memory.
        out_.document.events.reserve(input_size / 8 + 16);
        out_.document.text.reserve(input_size / 2 + 16);
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

    Event& push(const yaml_event_t& source, EventKind kind) {
        if (out_.document.events.size() >= max_encoded) throw_too_large();
        return out_.document.events.emplace_back(Event{0, 0, saturated(source.start_mark.line),
                                                       saturated(source.start_mark.column), kind,
                                                       ScalarStyle::Plain, Tag::None});
    }

    void remember_anchor(const yaml_char_t* anchor) {
        if (!anchor) return;
        const auto index = static_cast<std::uint32_t>(out_.document.events.size() - 1);
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
        std::string& text = out_.document.text;
        if (text.size() + data.length > max_encoded) throw_too_large();
        Event& event = push(source, EventKind::Scalar);
        event.text_offset = static_cast<std::uint32_t>(text.size());
        event.text_length = static_cast<std::uint32_t>(data.length);
        event.style = style_of(data.style);
        event.tag = classify_tag(data.tag);
        text.append(reinterpret_cast<const char*>(data.value), data.length);
        remember_anchor(data.anchor);
        return true;
    }

    bool alias(const yaml_event_t& source) {
        const auto found = anchors_.find(reinterpret_cast<const char*>(source.data.alias.anchor));
        if (found == anchors_.end()) {
            out_.failure = failure_at(std::string(message::unknown_anchor), source.start_mark);
            return false;
        }
        push(source, EventKind::Alias).text_offset = found->second;
        return true;
    }

    [[noreturn]] static void throw_too_large() { throw TooLarge{}; }

    Loaded& out_;
    std::unordered_map<std::string, std::uint32_t> anchors_;
    std::size_t depth_ = 0;
    bool seen_document_ = false;
};

}  // namespace

Loaded load_first_document(std::string_view input) {
    Loaded out;
    if (input.size() > max_manifest_bytes) {
        out.failure = Failure{message::too_large(), {}};
        return out;
    }
    Parser parser;
    if (!parser.ready()) throw std::bad_alloc();
    yaml_parser_set_input_string(parser.get(), reinterpret_cast<const unsigned char*>(input.data()),
                                 input.size());
    // No encoding is forced: libyaml then recognises and skips a byte-order
    // mark, which would otherwise count as the first column.
    Collector collector(out, input.size());
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
