#include "yaml/keys.hpp"

namespace brintel::yaml {
namespace {

std::size_t followed(const Document& document, std::size_t index) {
    const StoredEvent& event = document.events.stored(index);
    return event.kind() == EventKind::Alias ? event.target() : index;
}

}  // namespace

std::size_t collection_end(const Document& document, std::size_t index) {
    std::size_t depth = 0;
    do {
        switch (document.events.stored(index).kind()) {
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

std::vector<KeyAt> mapping_entries(const Document& document, std::size_t value) {
    std::vector<KeyAt> entries;
    mapping_entries(document, value, entries);
    return entries;
}

void mapping_entries(const Document& document, std::size_t value, std::vector<KeyAt>& entries) {
    entries.clear();
    const Events& events = document.events;
    if (value >= events.size()) return;
    std::size_t at = followed(document, value);
    if (events.stored(at).kind() != EventKind::MappingStart) return;
    ++at;
    while (at < events.size() && events.stored(at).kind() != EventKind::MappingEnd) {
        const std::size_t key = at;
        const std::size_t key_event = followed(document, at);
        at = value_end(document, at);
        if (at >= events.size()) break;
        const StoredEvent& key_text = events.stored(key_event);
        const std::string_view text = key_text.kind() == EventKind::Scalar ? document.scalar(key_text) : "";
        entries.push_back({text, static_cast<std::uint32_t>(key), static_cast<std::uint32_t>(at),
                           static_cast<std::uint32_t>(key_event), static_cast<std::uint32_t>(followed(document, at)),
                           events.stored(at).kind() == EventKind::Alias});
        at = value_end(document, at);
    }
}

bool holds_entries(const Document& document, std::size_t value) {
    if (value >= document.events.size()) return false;
    const StoredEvent& event = document.events.stored(followed(document, value));
    return event.kind() == EventKind::MappingStart || event.is_empty_plain();
}

}  // namespace brintel::yaml
