#include "module/raise.hpp"

#include "module/entry.hpp"

namespace brintel::py {

PyObject* raise(const errors::ConfigError& error) {
    // A signal handler's exception (KeyboardInterrupt) ended the operation.
    if (PyErr_Occurred()) return nullptr;
    const std::string text = error.display();
    Ref message = checked(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    PyErr_SetObject(PyExc_Exception, message.get());
    return nullptr;
}

}  // namespace brintel::py
