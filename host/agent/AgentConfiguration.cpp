#include "AgentConfiguration.h"

#include "Logger.h"

AgentConfiguration::AgentConfiguration()
{
    config_init(&config);
}

AgentConfiguration::~AgentConfiguration()
{
    config_destroy(&config);
}

bool AgentConfiguration::read(const char* path)
{
    if (config_read_file(&config, path) == CONFIG_TRUE)
        return true;
    const char* reason = config_error_text(&config);
    if (config_error_type(&config) == CONFIG_ERR_FILE_IO)
        Logger::log(Logger::ERR, "Cannot read configuration %s.", path);
    else
        Logger::log(Logger::ERR, "Configuration %s, line %d: %s", path,
                    config_error_line(&config), reason ? reason : "parse error");
    return false;
}

const char* AgentConfiguration::text(const char* key) const
{
    const char* value = nullptr;
    if (config_lookup_string(&config, key, &value) != CONFIG_TRUE)
        return nullptr;
    return value;
}

const char* AgentConfiguration::server() const { return text("server"); }
const char* AgentConfiguration::username() const { return text("username"); }
const char* AgentConfiguration::password() const { return text("password"); }

int AgentConfiguration::interval() const
{
    int value = 0;
    if (config_lookup_int(&config, "interval", &value) != CONFIG_TRUE)
        return 0;
    return value;
}

config_setting_t* AgentConfiguration::list(const char* key) const
{
    config_setting_t* setting = config_lookup(&config, key);
    if (!setting || !(config_setting_is_list(setting) || config_setting_is_array(setting)))
        return nullptr;
    return setting;
}

unsigned AgentConfiguration::libraryCount() const
{
    config_setting_t* load = list("load");
    unsigned count = 0;
    for (int i = 0; load && i < config_setting_length(load); ++i)
        if (config_setting_get_string_elem(load, i))
            ++count;
    return count;
}

const char* AgentConfiguration::library(unsigned index) const
{
    config_setting_t* load = list("load");
    for (int i = 0; load && i < config_setting_length(load); ++i) {
        const char* name = config_setting_get_string_elem(load, i);
        if (name && index-- == 0)
            return name;
    }
    return nullptr;
}

unsigned AgentConfiguration::groupCount() const
{
    config_setting_t* plugins = list("plugins");
    unsigned count = 0;
    for (int i = 0; plugins && i < config_setting_length(plugins); ++i)
        if (config_setting_is_group(config_setting_get_elem(plugins, i)))
            ++count;
    return count;
}

config_setting_t* AgentConfiguration::group(unsigned index) const
{
    config_setting_t* plugins = list("plugins");
    for (int i = 0; plugins && i < config_setting_length(plugins); ++i) {
        config_setting_t* entry = config_setting_get_elem(plugins, i);
        if (config_setting_is_group(entry) && index-- == 0)
            return entry;
    }
    return nullptr;
}
