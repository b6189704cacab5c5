// The one conversion of a library error into a Python exception.
#pragma once

#include "module/py_ref.hpp"
#include "errors/config_error.hpp"

namespace brintel::py {

// Raises `error` as an instance of the built-in Exception itself, whose only
// argument is the error's display text; an exception that a signal handler
// raised while the operation waited stays the one raised. Always returns
// null, so that an entry point can `return raise(error);`.
PyObject* raise(const errors::ConfigError& error);

}  // namespace brintel::py
