#include "keys.hpp"

namespace brintel::yaml {
namespace {

std::size_t followed(const Document& document, std::size_t index) {
    const Event& event = document.events[index];
    return event.kind == EventKind::Alias ? event.text_offset : index;
}

// The index after the value starting at `index`; aliases are single events.
std::size_t after_value(const Document& document, std::size_t index) {
    std::size_t depth = 0;
    do {
        switch (document.events[index].kind) {
        case EventKind::MappingStart:
        case EventKind::SequenceStart: ++depth; break;
        case EventKind::MappingEnd:
        case EventKind::SequenceEnd: --depth; break;
        default: break;
        }
        ++index;
    } while (depth > 0 && index < document.events.size());
    return index;
}

}  // namespace

std::vector<KeyAt> mapping_entries(const Document& document, std::size_t value) {
    std::vector<KeyAt> entries;
    const auto& events = document.events;
    if (value >= events.size()) return entries;
    std::size_t at = followed(document, value);
    if (events[at].kind != EventKind::MappingStart) return entries;
    ++at;
    while (at < events.size() && events[at].kind != EventKind::MappingEnd) {
        const Event& key = events[at];
        const Event& key_text = events[followed(document, at)];
        at = after_value(document, at);
        if (at >= events.size()) break;
        const std::string_view text = key_text.kind == EventKind::Scalar ? document.scalar(key_text) : "";
        entries.push_back({text, key.mark(), events[at].mark(), followed(document, at)});
        at = after_value(document, at);
    }
    return entries;
}

}  // namespace brintel::yaml
