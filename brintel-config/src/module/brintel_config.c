/* The brintel_config extension module: everything it does is in the shared library. */
#include <Python.h>

#include "module/shared_library.h"

PyMODINIT_FUNC PyInit_brintel_config(void) { return brintel_config_module_init(); }
