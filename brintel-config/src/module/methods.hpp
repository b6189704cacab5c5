// The methods of ReaderConfig, each defined in a file of its own.
#pragma once

#include "py_ref.hpp"

namespace brintel::py {

// The class's method table, in registration order.
PyMethodDef* reader_method_table();

}  // namespace brintel::py
