#include "PluginConfiguration.h"

PluginConfiguration::PluginConfiguration(config_setting_t* group) : setting(group), nextLink(nullptr) {}

namespace {

// The member name of the group through libconfig's lookup of its type;
// fallback when there is no group, no name, or no such member. libconfig
// dereferences both the setting and the name unchecked.
template <typename T>
T lookedUp(const config_setting_t* setting, const char* name,
           int (*lookup)(const config_setting_t*, const char*, T*), T fallback)
{
    T value = fallback;
    if (setting && name && lookup(setting, name, &value) == CONFIG_TRUE)
        return value;
    return fallback;
}

} // namespace

const char* PluginConfiguration::stringValue(const char* name)
{
    return lookedUp<const char*>(setting, name, config_setting_lookup_string, nullptr);
}

int PluginConfiguration::intValue(const char* name)
{
    return lookedUp(setting, name, config_setting_lookup_int, 0);
}

bool PluginConfiguration::boolValue(const char* name)
{
    return lookedUp(setting, name, config_setting_lookup_bool, 0) != 0;
}

double PluginConfiguration::doubleValue(const char* name)
{
    return lookedUp(setting, name, config_setting_lookup_float, 0.0);
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
