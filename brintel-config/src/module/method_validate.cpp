#include "reader_methods.hpp"

#include "classes.hpp"
#include "entry.hpp"
#include "errors.hpp"
#include "../schema/validate.hpp"

namespace brintel::py {

PyObject* reader_validate(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        const errors::Status status = schema::validate(record_of(self));
        if (!status) return raise(status.error());
        return Ref::none().release();
    });
}

}  // namespace brintel::py
