#include "module_cfg.h"

#include "cfg.h"

void module_cfg_load(module_settings *settings)
{
    FILE *f = cfg_open(MODULE_CFG_PATH, "r");
    settings->enabled = cfg_get_int(f, MODULE_CFG_ENABLED);
    settings->username = cfg_get_str(f, MODULE_CFG_USERNAME);
    settings->password = cfg_get_str(f, MODULE_CFG_PASSWORD);
    settings->interval = cfg_get_int(f, MODULE_CFG_INTERVAL);
    cfg_close(f);
}

static int write_settings(FILE *f, void *context)
{
    const module_settings *settings = (const module_settings *)context;
    int written = cfg_put_bool(f, MODULE_CFG_ENABLED, settings->enabled != 0) >= 0;
    written &= cfg_put_str(f, MODULE_CFG_USERNAME, settings->username) >= 0;
    written &= cfg_put_str(f, MODULE_CFG_PASSWORD, settings->password) >= 0;
    written &= cfg_put_int(f, MODULE_CFG_INTERVAL, settings->interval, 1) >= 0;
    return written;
}

int module_cfg_save(const module_settings *settings)
{
    /* The file holds the platform password and is all the module knows of
     * its platform: never torn, never world-readable. */
    return cfg_replace(MODULE_CFG_PATH, write_settings, (void *)settings) == 1;
}
