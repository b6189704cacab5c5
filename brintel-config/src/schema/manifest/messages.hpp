// Every text that reading a manifest, picking a reader out of it and writing
// it back put into an error of their own; the YAML layer's texts are in
// yaml/messages.hpp. Callers compare them byte for byte, so each is spelled
// here and nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace brintel::schema::message {

inline constexpr std::string_view no_product_key = "No brintel key found in manifest";

inline std::string no_reader(std::string_view reader_id) {
    return "No reader with id " + std::string(reader_id) + " found in manifest.yaml";
}

// A write that made no progress and reported no error.
inline constexpr std::string_view write_incomplete = "failed to write whole buffer";

// The system's description of an error number and the number itself,
// "No locks available (os error 37)".
inline std::string os_error(std::string_view description, int code) {
    return std::string(description) + " (os error " + std::to_string(code) + ")";
}

}  // namespace brintel::schema::message
