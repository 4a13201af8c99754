#ifndef ORVANTA_TESTS_FRAMEWORK_CONFIGTEXT_H
#define ORVANTA_TESTS_FRAMEWORK_CONFIGTEXT_H

#include <libconfig.h>

// A configuration parsed by libconfig from text, as the agent reads its file.
class ConfigText {
public:
    explicit ConfigText(const char* text)
    {
        config_init(&config);
        parsed = config_read_string(&config, text) == CONFIG_TRUE;
    }
    ~ConfigText() { config_destroy(&config); }
    ConfigText(const ConfigText&) = delete;
    ConfigText& operator=(const ConfigText&) = delete;

    bool ok() const { return parsed; }
    // The setting at path ("plugins.[0]"), null when there is none.
    config_setting_t* at(const char* path) { return config_lookup(&config, path); }
    config_t* get() { return &config; }

private:
    config_t config;
    bool parsed;
};

#endif
