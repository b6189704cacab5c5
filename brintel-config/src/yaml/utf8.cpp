#include "yaml/utf8.hpp"

#include <utf8proc.h>

#include <cstdint>
#include <cstring>

namespace brintel::yaml {

std::size_t utf8_prefix(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::size_t length = text.size();
    std::size_t i = 0;
    while (i < length) {
        // Manifests are mostly ASCII: test eight bytes at a time.
        if (i + 8 <= length) {
            std::uint64_t block;
            std::memcpy(&block, bytes + i, sizeof block);
            if ((block & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        utf8proc_int32_t c = 0;
        const auto sequence = utf8proc_iterate(bytes + i, static_cast<utf8proc_ssize_t>(length - i), &c);
        if (sequence < 0) return i;
        i += static_cast<std::size_t>(sequence);
    }
    return length;
}

}  // namespace brintel::yaml
