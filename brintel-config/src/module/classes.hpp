// The ReaderConfig and AppConfig classes.
#pragma once

#include "py_ref.hpp"
#include "../schema/records.hpp"

namespace brintel::py {

// The class objects, created on first use and kept for the life of the
// process. Null with a Python exception set if creation fails.
PyTypeObject* reader_config_type();
PyTypeObject* app_config_type();

// A new ReaderConfig instance owning `record`, or null with the
// interpreter's exception set.
Ref wrap_reader(schema::ReaderConfig&& record);

// The record of a ReaderConfig instance; the descriptors of the class have
// already checked the receiver's type.
const schema::ReaderConfig& record_of(PyObject* self);

}  // namespace brintel::py
