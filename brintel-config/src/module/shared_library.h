/* The entries of libbrintel_config-shared.so, the private library that the
 * module and the command share. It holds everything written in C++: the
 * configuration library, the Python module's code and the command's. The two extension modules in front of it only call these; no
 * other symbol leaves the library. */
#ifndef BRINTEL_CONFIG_SHARED_LIBRARY_H
#define BRINTEL_CONFIG_SHARED_LIBRARY_H

#ifdef __cplusplus
extern "C" {
#endif

#define BRINTEL_SHARED_ENTRY __attribute__((visibility("default")))

/* What PyInit_brintel_config returns: the module object, or null with a
 * Python exception set. */
BRINTEL_SHARED_ENTRY struct _object* brintel_config_module_init(void);

/* What PyInit__brintel_config_command returns: the module whose main() runs
 * the brintel-config command on sys.argv. */
BRINTEL_SHARED_ENTRY struct _object* brintel_config_command_init(void);

#ifdef __cplusplus
}
#endif

#endif
