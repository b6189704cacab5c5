// Entry points of the ReaderConfig methods, registered in methods.cpp.
#pragma once

#include "py_ref.hpp"

namespace brintel::py {

// ReaderConfig.dict_without_optionals(): the set fields as a new dict.
PyObject* reader_dict_without_optionals(PyObject* self, PyObject* unused);

// ReaderConfig.validate(): None, or the findings raised as one Exception.
PyObject* reader_validate(PyObject* self, PyObject* unused);

// ReaderConfig.add_to_manifest_yaml(path, reader_id): stores the record.
PyObject* reader_add_to_manifest_yaml(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                      PyObject* kwnames);

}  // namespace brintel::py
