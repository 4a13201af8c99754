#include "PluginConfiguration.h"

PluginConfiguration::PluginConfiguration(config_setting_t* group)
    : setting(group), nextLink(nullptr)
{
}

// libconfig dereferences both the setting and the name unchecked.

const char* PluginConfiguration::stringValue(const char* name)
{
    const char* value = nullptr;
    if (setting && name && config_setting_lookup_string(setting, name, &value) == CONFIG_TRUE)
        return value;
    return nullptr;
}

int PluginConfiguration::intValue(const char* name)
{
    int value = 0;
    if (setting && name && config_setting_lookup_int(setting, name, &value) == CONFIG_TRUE)
        return value;
    return 0;
}

bool PluginConfiguration::boolValue(const char* name)
{
    int value = 0;
    if (setting && name && config_setting_lookup_bool(setting, name, &value) == CONFIG_TRUE)
        return value != 0;
    return false;
}

double PluginConfiguration::doubleValue(const char* name)
{
    double value = 0.0;
    if (setting && name && config_setting_lookup_float(setting, name, &value) == CONFIG_TRUE)
        return value;
    return 0.0;
}

const char* PluginConfiguration::type()
{
    return stringValue("type");
}

int PluginConfiguration::interval()
{
    return intValue("interval");
}

PluginConfiguration* PluginConfiguration::next()
{
    return nextLink;
}
