// The texts that the manifest's file handling puts into its errors.
#pragma once

#include <cstdint>
#include <string>

namespace brintel::schema::message {

// A manifest beyond the size that reading accepts; `limit` in bytes, a
// whole number of MiB.
inline std::string too_large(std::uint64_t limit) {
    return "manifest larger than " + std::to_string(limit >> 20) + " MiB";
}

}  // namespace brintel::schema::message
