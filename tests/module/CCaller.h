// Functions compiled as C that call the settings interface.
#ifndef ORVANTA_TESTS_MODULE_CCALLER_H
#define ORVANTA_TESTS_MODULE_CCALLER_H

#include "module_cfg.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Saves {1, username, "secret", 15} with module_cfg_save, then loads the
 * file into *loaded. Gives 0 when the save failed. */
int c_caller_save_and_load(const char* username, module_settings* loaded);

/* cfg_get_int of key in the file at path. */
unsigned c_caller_read_number(const char* path, const char* key);

#ifdef __cplusplus
}
#endif

#endif
