// The entries of one mapping found by their keys. A reader map holds one
// entry per reader: a hash table with a node per key would hold more than
// the entries themselves, so this one keeps entry indices in one array.
#pragma once

#include "yaml/keys.hpp"

#include <bit>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace brintel::cli {

class EntriesByKey {
public:
    // For at most `count` keys of `entries`.
    EntriesByKey(const std::vector<yaml::KeyAt>& entries, std::size_t count)
        : entries_(entries), slots_(std::bit_ceil(2 * count + 2), empty), mask_(slots_.size() - 1) {}

    // The entry stored under the key of entry `index`, which is stored there
    // first when the key is new (`added`).
    struct Found {
        std::uint32_t& entry;
        bool added;
    };
    Found find_or_add(std::size_t index) {
        const std::string_view key = entries_[index].key;
        for (std::size_t slot = std::hash<std::string_view>{}(key) & mask_;; slot = (slot + 1) & mask_) {
            std::uint32_t& stored = slots_[slot];
            if (stored == empty) {
                stored = static_cast<std::uint32_t>(index);
                return {stored, true};
            }
            if (entries_[stored].key == key) return {stored, false};
        }
    }

    // The entry stored under the key of entry `index`.
    std::uint32_t at(std::size_t index) { return find_or_add(index).entry; }

private:
    static constexpr std::uint32_t empty = UINT32_MAX;  // no entry index: events are fewer

    const std::vector<yaml::KeyAt>& entries_;
    std::vector<std::uint32_t> slots_;  // at least half of them empty
    std::size_t mask_;
};

}  // namespace brintel::cli
