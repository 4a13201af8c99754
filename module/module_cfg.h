/*
 * The module settings record and its file, "/opt/orvanta/etc/settings".
 * Usable from C (for example by a configuration page that saves the settings).
 */
#ifndef ORVANTA_MODULE_CFG_H
#define ORVANTA_MODULE_CFG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The settings file and its keys. */
#define MODULE_CFG_PATH "/opt/orvanta/etc/settings"
#define MODULE_CFG_ENABLED "MOD_ORVANTA_ENABLED"
#define MODULE_CFG_USERNAME "MOD_ORVANTA_USERNAME"
#define MODULE_CFG_PASSWORD "MOD_ORVANTA_PASSWORD"
#define MODULE_CFG_INTERVAL "MOD_ORVANTA_INTERVAL"
/* The settings as the module ships them. Unpacking a newer module must not
 * replace what the user set: the archive carries these defaults, and the
 * settings file is made from them only where it is missing. */
#define MODULE_CFG_DEFAULTS_PATH "/opt/orvanta/etc/settings.default"

typedef struct module_settings {
    uint32_t enabled;  /* MODULE_CFG_ENABLED: module switched on when non-zero */
    char *username;    /* MODULE_CFG_USERNAME: heap text owned by the record */
    char *password;    /* MODULE_CFG_PASSWORD: heap text owned by the record */
    uint32_t interval; /* MODULE_CFG_INTERVAL: reporting interval in minutes */
} module_settings;

/* Fills *settings from the settings file. A missing or unreadable file is no
 * error: the record then holds 0, "", "", 0. username and password are new
 * heap texts (null only when memory ran out); the old pointers are not freed. */
void module_cfg_load(module_settings *settings);

/* Replaces the settings file by the record's four lines (enabled as a flag,
 * username, password, interval with 0 written as 0) through cfg_replace:
 * mode 0600, the old file kept byte for byte on any failure. Gives 1 when
 * the file was replaced and is on storage, 0 otherwise. */
int module_cfg_save(const module_settings *settings);

#ifdef __cplusplus
}
#endif

#endif
