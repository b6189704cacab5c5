// Writing records as YAML text.
#pragma once

#include "errors/config_error.hpp"
#include "schema/records.hpp"

#include <string>

namespace brintel::yaml {

// The YAML text of a whole manifest: fields in declared order, map entries
// (top-level keys, reader ids) in byte order of their keys, every reader
// field written (unset ones as null), strings quoted wherever they would
// otherwise read back as something else. A Serialization error carries the
// emitter's complaint, which records never give it cause for.
errors::Result<std::string> write_document_map(const schema::DocumentMap<schema::ManifestConfig>& document);

// The YAML text of one reader alone, written as a manifest holds it.
errors::Result<std::string> write_reader(const schema::ReaderConfig& reader);

}  // namespace brintel::yaml
