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
        Logger::log(Logger::ERR, "Configuration %s, line %d: %s", path, config_error_line(&config),
                    reason ? reason : "parse error");
    return false;
}

const char* AgentConfiguration::text(const char* key) const
{
    const char* value = nullptr;
    if (config_lookup_string(&config, key, &value) != CONFIG_TRUE)
        return nullptr;
    return value;
}

const char* AgentConfiguration::server() const
{
    return text("server");
}
const char* AgentConfiguration::username() const
{
    return text("username");
}
const char* AgentConfiguration::password() const
{
    return text("password");
}

int AgentConfiguration::interval() const
{
    int value = 0;
    if (config_lookup_int(&config, "interval", &value) != CONFIG_TRUE)
        return 0;
    return value;
}

namespace {

bool isText(const config_setting_t* entry)
{
    return config_setting_type(entry) == CONFIG_TYPE_STRING;
}

bool isGroup(const config_setting_t* entry)
{
    return config_setting_is_group(entry);
}

} // namespace

std::vector<config_setting_t*> AgentConfiguration::entries(const char* key,
                                                           bool (*kept)(const config_setting_t*)) const
{
    std::vector<config_setting_t*> found;
    config_setting_t* setting = config_lookup(&config, key);
    if (setting && (config_setting_is_list(setting) || config_setting_is_array(setting)))
        for (int i = 0; i < config_setting_length(setting); ++i)
            if (kept(config_setting_get_elem(setting, i)))
                found.push_back(config_setting_get_elem(setting, i));
    return found;
}

unsigned AgentConfiguration::libraryCount() const
{
    return static_cast<unsigned>(entries("load", isText).size());
}

const char* AgentConfiguration::library(unsigned index) const
{
    std::vector<config_setting_t*> load = entries("load", isText);
    return index < load.size() ? config_setting_get_string(load[index]) : nullptr;
}

unsigned AgentConfiguration::groupCount() const
{
    return static_cast<unsigned>(entries("plugins", isGroup).size());
}

config_setting_t* AgentConfiguration::group(unsigned index) const
{
    std::vector<config_setting_t*> plugins = entries("plugins", isGroup);
    return index < plugins.size() ? plugins[index] : nullptr;
}
