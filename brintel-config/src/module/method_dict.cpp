#include "reader_methods.hpp"

#include "classes.hpp"
#include "entry.hpp"
#include "values.hpp"

#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

namespace brintel::py {
namespace {

using schema::ReaderConfig;

// Left out even when set.
constexpr std::string_view never_exported = "cuda_visible_devices";

// Adds the field's entry unless it is unset or never exported; false with a
// Python exception set.
template <class Field>
bool add_entry(PyObject* dict, const Field& field, const ReaderConfig& record) {
    // Callers tell integers from flags by type; a bool would pass as an int.
    static_assert(!std::is_same_v<typename Field::value_type, bool>);
    if (field.key() == never_exported) return true;
    const auto& member = field.of(record);
    if constexpr (Field::optional) {
        if (!member) return true;
    }
    const Ref value = to_python(member);
    return PyDict_SetItemString(dict, field.name, value.get()) == 0;
}

Ref export_reader(const ReaderConfig& record) {
    Ref dict = checked(PyDict_New());
    const bool failed = schema::find_field<ReaderConfig>(
        [&](const auto& field, std::size_t) { return !add_entry(dict.get(), field, record); });
    return failed ? Ref() : std::move(dict);
}

}  // namespace

PyObject* reader_dict_without_optionals(PyObject* self, PyObject*) {
    return guarded([&] { return export_reader(record_of(self)).release(); });
}

}  // namespace brintel::py
