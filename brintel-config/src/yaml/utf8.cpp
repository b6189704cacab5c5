#include "yaml/utf8.hpp"

#include "yaml/positions.hpp"

#include <utf8proc.h>

#include <cstdint>

namespace brintel::yaml {

std::size_t utf8_prefix(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t i = 0;
    while ((i = yaml::first_non_ascii(text, i)) < text.size()) {
        utf8proc_int32_t c = 0;
        const auto sequence = utf8proc_iterate(bytes + i, static_cast<utf8proc_ssize_t>(text.size() - i), &c);
        if (sequence < 0) return i;
        i += static_cast<std::size_t>(sequence);
    }
    return text.size();
}

}  // namespace brintel::yaml
