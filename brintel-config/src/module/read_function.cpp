// The module-level function read_brintel_readers_config.
#include "module/binder.hpp"
#include "module/entry.hpp"
#include "module/module.hpp"
#include "module/raise.hpp"
#include "module/waiting.hpp"
#include "schema/manifest/manifest.hpp"

namespace brintel::py {
namespace {

constexpr Signature<2> signature{"read_brintel_readers_config()", {"path", "reader_id"}, 0};

PyObject* read_brintel_readers_config(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                                      PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        // An omitted argument is the text "str", a real default kept as it always was.
        const auto texts = bind_texts(signature, args, static_cast<size_t>(nargsf), kwnames, "str");
        if (!texts) return nullptr;
        const auto& [path, reader_id] = *texts;
        auto reader = schema::read_reader_from_manifest(path, reader_id, letting_threads_run());
        if (!reader) return raise(reader.error());
        return wrap_reader(std::move(reader.value())).release();
    });
}

PyMethodDef definition = {
    "read_brintel_readers_config",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_brintel_readers_config)),
    METH_FASTCALL | METH_KEYWORDS,
    "read_brintel_readers_config(path=\"str\", reader_id=\"str\")\n--\n\n"
    "Read the reader config for reader_id: reader_id from the manifest yaml file.\n"
    "If no such reader is found, return an error to be raised in python",
};

}  // namespace

PyMethodDef* read_function_definition() { return &definition; }

}  // namespace brintel::py
