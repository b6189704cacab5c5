/* The brintel_config extension module: everything it does is in the core library. */
#include <Python.h>

#include "core_entries.h"

PyMODINIT_FUNC PyInit_brintel_config(void) { return brintel_config_module_init(); }
