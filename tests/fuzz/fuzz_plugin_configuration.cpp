// A plug-in configuration from arbitrary libconfig text: every group of the
// parsed text is wrapped and asked for its type, interval, next link and
// each of its members by every typed lookup. The results must be libconfig's
// own (the string itself, not a copy) or the defaults.
#include "PluginConfiguration.h"
#include "Require.h"

#include <libconfig.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void askGroup(config_setting_t* group)
{
    PluginConfiguration configuration(group);
    const char* type = nullptr;
    bool hasType = config_setting_lookup_string(group, "type", &type) == CONFIG_TRUE;
    require(configuration.type() == (hasType ? type : nullptr), "type");
    int interval = 0;
    bool hasInterval = config_setting_lookup_int(group, "interval", &interval) == CONFIG_TRUE;
    require(configuration.interval() == (hasInterval ? interval : 0), "interval");
    require(configuration.next() == nullptr, "next");
    for (int i = 0; i < config_setting_length(group); ++i) {
        const char* name = config_setting_name(config_setting_get_elem(group, static_cast<unsigned>(i)));
        configuration.stringValue(name);
        configuration.intValue(name);
        configuration.boolValue(name);
        configuration.doubleValue(name);
    }
    require(configuration.stringValue("no such member") == nullptr, "missing string");
    require(configuration.intValue("no such member") == 0, "missing int");
    require(!configuration.boolValue("no such member"), "missing bool");
    require(configuration.doubleValue("no such member") == 0.0, "missing float");
}

void walk(config_setting_t* setting, int depth)
{
    if (depth > 32)
        return;
    if (config_setting_is_group(setting))
        askGroup(setting);
    if (config_setting_is_aggregate(setting))
        for (int i = 0; i < config_setting_length(setting); ++i)
            walk(config_setting_get_elem(setting, static_cast<unsigned>(i)), depth + 1);
}

} // namespace

// libconfig 1.5 loses some of its scanner's buffers when a parse fails
// (a text ending inside a string, for one): its own leaks, once per failed
// read, not this code's, which allocates nothing.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    // An include directive would read files of this machine (libconfig 1.5
    // cannot refuse one); the agent's configuration has none.
    if (text.find("include") != std::string::npos)
        return 0;
    config_t config;
    config_init(&config);
    if (config_read_string(&config, text.c_str()) == CONFIG_TRUE)
        walk(config_root_setting(&config), 0);
    config_destroy(&config);
    return 0;
}
