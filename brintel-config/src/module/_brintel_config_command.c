/* The module behind the brintel-config console script: everything it does is
 * in the shared library, beside the brintel_config module's code. */
#include <Python.h>

#include "module/shared_library.h"

PyMODINIT_FUNC PyInit__brintel_config_command(void) { return brintel_config_command_init(); }
