// Random version-4 UUIDs, for reader ids made unique and for the names of
// an update's temporary files.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace brintel::schema {

using UuidBytes = std::array<std::uint8_t, 16>;

// A fresh random UUID in its 36-character lower-case form. Throws
// std::system_error when the system gives no random bytes at all: like
// running out of memory, a failure of the host, not of a manifest, which
// the Python layer reports as an internal error.
std::string new_uuid();

// The 36-character lower-case form of `random` with the version (4) and
// variant (RFC 4122) bits set over it.
std::string uuid_v4_text(UuidBytes random);

}  // namespace brintel::schema
