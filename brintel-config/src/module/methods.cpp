#include "methods.hpp"

namespace brintel::py {

PyMethodDef* reader_method_table() {
    static PyMethodDef table[] = {
        {nullptr, nullptr, 0, nullptr},
    };
    return table;
}

}  // namespace brintel::py
