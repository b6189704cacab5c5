/* The entries of the private library libbrintel_config-core.so, which holds
 * everything written in C++: the core, the Python module's code and the
 * command's. The two extension modules in front of it only call these; no
 * other symbol leaves the library. */
#ifndef BRINTEL_CONFIG_CORE_ENTRIES_H
#define BRINTEL_CONFIG_CORE_ENTRIES_H

#ifdef __cplusplus
extern "C" {
#endif

#define BRINTEL_CORE_ENTRY __attribute__((visibility("default")))

/* What PyInit_brintel_config returns: the module object, or null with a
 * Python exception set. */
BRINTEL_CORE_ENTRY struct _object* brintel_config_module_init(void);

/* What PyInit__brintel_config_command returns: the module whose main() runs
 * the brintel-config command on sys.argv. */
BRINTEL_CORE_ENTRY struct _object* brintel_config_command_init(void);

#ifdef __cplusplus
}
#endif

#endif
