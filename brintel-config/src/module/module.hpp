// What the module registers, and the class objects it keeps for the life of
// the process.
#pragma once

#include "module/py_ref.hpp"
#include "schema/records.hpp"

namespace brintel::py {

// The ReaderConfig class (reader_config.cpp): its PyType_Spec, and the
// methods of that spec, which go after its properties.
PyType_Spec& reader_config_spec();
const PyMethodDef* reader_config_methods();

// Makes the dictionary export's keys unless they exist; called with the
// StartupLock held while the module starts. False with a Python exception
// set if a key cannot be made.
bool init_export_keys();

// The definition of the module-level `read_brintel_readers_config`
// (read_function.cpp).
PyMethodDef* read_function_definition();

// The ReaderConfig class object, made while the module starts; null before.
PyTypeObject* reader_config_type();

// A new ReaderConfig instance owning `record`.
Ref wrap_reader(schema::ReaderConfig&& record);

}  // namespace brintel::py
