#include "module_cfg.h"

#include "cfg.h"

static const char SETTINGS_PATH[] = "/opt/orvanta/etc/settings";

void module_cfg_load(module_settings *settings)
{
    FILE *f = cfg_open(SETTINGS_PATH, "r");
    settings->enabled = cfg_get_int(f, "MOD_ORVANTA_ENABLED");
    settings->username = cfg_get_str(f, "MOD_ORVANTA_USERNAME");
    settings->password = cfg_get_str(f, "MOD_ORVANTA_PASSWORD");
    settings->interval = cfg_get_int(f, "MOD_ORVANTA_INTERVAL");
    cfg_close(f);
}

int module_cfg_save(const module_settings *settings)
{
    FILE *f = cfg_open(SETTINGS_PATH, "w");
    if (!f)
        return 0;
    int written = cfg_put_bool(f, "MOD_ORVANTA_ENABLED", settings->enabled != 0) >= 0;
    written &= cfg_put_str(f, "MOD_ORVANTA_USERNAME", settings->username) >= 0;
    written &= cfg_put_str(f, "MOD_ORVANTA_PASSWORD", settings->password) >= 0;
    written &= cfg_put_int(f, "MOD_ORVANTA_INTERVAL", settings->interval, 1) >= 0;
    /* A full disk shows only when the buffered lines are flushed. */
    written &= cfg_close(f) == 0;
    return written;
}
