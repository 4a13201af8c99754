/* The settings interface as a C program uses it (for example a
 * configuration page that saves the settings). */
#include "CCaller.h"

#include "cfg.h"
#include "module_cfg.h"

#include <stdlib.h>
#include <string.h>

int c_caller_save_and_load(const char* username, module_settings* loaded)
{
    module_settings settings;
    settings.enabled = 1;
    settings.username = (char*)username;
    settings.password = (char*)"secret";
    settings.interval = 15;
    if (!module_cfg_save(&settings))
        return 0;
    module_cfg_load(loaded);
    return 1;
}

unsigned c_caller_read_number(const char* path, const char* key)
{
    FILE* f = cfg_open(path, "r");
    unsigned value = cfg_get_int(f, key);
    cfg_close(f);
    return value;
}
