// Checks a reader record for settings a model worker cannot run with.
#pragma once

#include "records.hpp"
#include "../errors/config_error.hpp"

namespace brintel::schema {

// Success, or a ValidationErrors error listing every finding in rule order.
// Runs only on request: neither construction nor manifest reading calls it.
errors::Status validate(const ReaderConfig& reader);

}  // namespace brintel::schema
