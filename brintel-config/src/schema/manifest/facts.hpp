// Gathering what decides how an update commits its text (way.hpp).
#pragma once

#include "schema/manifest/lock.hpp"
#include "schema/manifest/replacement.hpp"
#include "schema/manifest/way.hpp"

#include <cstddef>
#include <string>

namespace brintel::schema {

// The facts about the locked manifest at `path`, its replacement's name and
// its directory, for a new text of `text_bytes`. Nothing is created or
// changed. A fact that cannot be had counts as no obstacle, and the
// replacement's own steps find out; only an owner that may be one the user
// namespace cannot map counts as one, since giving it could hand the file
// to somebody else.
//
// Free space is not among them: what statvfs reports is no promise (quotas,
// compression, blocks reserved for root), so in place reserves the space
// before it writes, and a replacement that finds the disk full has only
// written its own file.
StoreFacts gather_facts(const std::string& path, const ManifestLock& lock, const Replacement& replacement,
                        std::size_t text_bytes);

}  // namespace brintel::schema
