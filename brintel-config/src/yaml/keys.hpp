// Where the keys and values of a loaded document stand, for pointing at
// them after reading: the records hold values, not positions.
#pragma once

#include "yaml/document.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace brintel::yaml {

// One entry of a mapping.
struct KeyAt {
    std::string_view key;  // the key's text; an alias key reads as its anchored scalar
    std::uint32_t key_written;    // the key's own event: an alias's, not followed
    std::uint32_t value_written;  // where the value is written: an alias's own event
    std::uint32_t key_event;      // the key's event, an alias followed
    std::uint32_t value;          // the value's first event, an alias followed
    bool value_is_alias;

    // Positions are looked up when a finding names them: most entries have none.
    Mark key_mark(const Document& document) const { return document.events.mark(key_written); }
    Mark value_mark(const Document& document) const { return document.events.mark(value_written); }
};

// The entries of the mapping whose first event is `value` (an alias is
// followed), in document order. Walks that locate many of them want a
// document loaded with Positions::Keep. An empty plain scalar, as the reader
// takes it, is a mapping without entries; anything else that is not a mapping has
// none either. Nested values are stepped over, not descended into.
std::vector<KeyAt> mapping_entries(const Document& document, std::size_t value);
// The same into `entries`, whose room is used again.
void mapping_entries(const Document& document, std::size_t value, std::vector<KeyAt>& entries);

// Whether the value at `value` (an alias is followed) is what reading takes
// for a mapping: one, or an empty plain scalar.
bool holds_entries(const Document& document, std::size_t value);

// The index after the collection that starts at `start`, or the document's
// end when that cuts it short.
std::size_t collection_end(const Document& document, std::size_t start);

// The index after the value that starts at `value`; an alias is one event.
// A value cut short by the document's end ends there.
inline std::size_t value_end(const Document& document, std::size_t value) {
    if (value >= document.events.size()) return value;
    const EventKind first = document.events.stored(value).kind();
    if (first == EventKind::Scalar || first == EventKind::Alias) return value + 1;  // most values
    return collection_end(document, value);
}

// The first event of the document's root value.
inline constexpr std::size_t root_value = 0;

}  // namespace brintel::yaml
