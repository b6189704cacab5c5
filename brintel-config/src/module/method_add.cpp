#include "binder.hpp"
#include "classes.hpp"
#include "entry.hpp"
#include "errors.hpp"
#include "reader_methods.hpp"
#include "../schema/manifest.hpp"

namespace brintel::py {
namespace {

constexpr const char* parameters[] = {"path", "reader_id"};
constexpr Signature signature{"ReaderConfig.add_to_manifest_yaml()", parameters, 2};

}  // namespace

PyObject* reader_add_to_manifest_yaml(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                      PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const auto texts = bind_texts<2>(signature, args, static_cast<size_t>(nargsf), kwnames);
        if (!texts) return nullptr;
        const auto& [path, reader_id] = *texts;
        const auto stored = schema::add_to_manifest_yaml(record_of(self), path, reader_id);
        if (!stored) return raise(stored.error());
        return Ref::none().release();
    });
}

}  // namespace brintel::py
