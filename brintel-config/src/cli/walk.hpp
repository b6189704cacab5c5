// The walk through a loaded manifest that shows the rules' detectors their
// sites: the way reading goes through it, but on past every refusal.
#pragma once

#include "cli/sites.hpp"

#include "yaml/document.hpp"

namespace brintel::cli {

// Walks a well-formed document. Its depth follows the schema (document,
// entry, record, reader map, reader), never the input: values that no
// setting takes are stepped over, not entered.
void walk(const yaml::Document& document, Report& report);

}  // namespace brintel::cli
