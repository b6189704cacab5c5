#include "methods.hpp"

#include "reader_methods.hpp"

namespace brintel::py {

PyMethodDef* reader_method_table() {
    static PyMethodDef table[] = {
        {"dict_without_optionals", reader_dict_without_optionals, METH_NOARGS,
         "dict_without_optionals($self)\n--\n\n"},
        {"validate", reader_validate, METH_NOARGS, "validate($self)\n--\n\n"},
        {"add_to_manifest_yaml",
         reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(reader_add_to_manifest_yaml)),
         METH_FASTCALL | METH_KEYWORDS, "add_to_manifest_yaml($self, path, reader_id)\n--\n\n"},
        {nullptr, nullptr, 0, nullptr},
    };
    return table;
}

}  // namespace brintel::py
