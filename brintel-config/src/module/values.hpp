// Reader field values as new Python objects, built afresh on every call.
// Flag-like fields hold integers, so there is deliberately no bool here.
#pragma once

#include "entry.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace brintel::py {

inline Ref to_python(const std::string& text) {
    return checked(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}
inline Ref to_python(std::uint32_t value) { return checked(PyLong_FromUnsignedLong(value)); }
inline Ref to_python(std::uint64_t value) { return checked(PyLong_FromUnsignedLongLong(value)); }

template <class T>
Ref to_python(const std::optional<T>& value) {
    return value ? to_python(*value) : Ref::none();
}

}  // namespace brintel::py
