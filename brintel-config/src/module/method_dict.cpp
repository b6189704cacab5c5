#include "reader_methods.hpp"

#include "classes.hpp"
#include "entry.hpp"
#include "values.hpp"
#include "../schema/export.hpp"

namespace brintel::py {
namespace {

Ref export_reader(const schema::ReaderConfig& record) {
    Ref dict = checked(PyDict_New());
    bool ok = true;
    schema::for_each_exported(record, [&](std::string_view name, const auto& value) {
        // Callers tell integers from flags by type; a bool would pass as an int.
        static_assert(!std::is_same_v<std::remove_cvref_t<decltype(value)>, bool>);
        if (!ok) return;
        const Ref item = to_python(value);
        const Ref key = checked(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
        ok = PyDict_SetItem(dict.get(), key.get(), item.get()) == 0;
    });
    return ok ? std::move(dict) : Ref();
}

}  // namespace

PyObject* reader_dict_without_optionals(PyObject* self, PyObject*) {
    return guarded([&] { return export_reader(record_of(self)).release(); });
}

}  // namespace brintel::py
