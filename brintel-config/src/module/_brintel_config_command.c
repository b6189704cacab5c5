/* The module behind the brintel-config console script: everything it does is
 * in the core library, beside the brintel_config module's code. */
#include <Python.h>

#include "core_entries.h"

PyMODINIT_FUNC PyInit__brintel_config_command(void) { return brintel_config_command_init(); }
