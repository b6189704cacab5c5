#pragma once

#include "py_ref.hpp"

namespace brintel::py {

// The definition of the module-level `read_brintel_readers_config`.
PyMethodDef* read_function_definition();

}  // namespace brintel::py
