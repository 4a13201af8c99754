#ifndef ORVANTA_FRAMEWORK_PLUGINCONFIGURATION_H
#define ORVANTA_FRAMEWORK_PLUGINCONFIGURATION_H

#include "Export.h"

#include <libconfig.h>

// One group of the agent configuration's "plugins" list, with typed
// lookups of its members. A lookup counts only when libconfig's own lookup
// returns CONFIG_TRUE; a missing member, or one that libconfig refuses to
// read as the asked type, gives the default (null, 0, false, 0.0), so a
// caller cannot tell it from a member holding that default. Nothing is
// copied or cached: each lookup is one libconfig call.
class ORVANTA_EXPORT PluginConfiguration {
public:
    // setting is not owned: the configuration that holds it must outlive
    // this object. A null setting has no members.
    explicit PluginConfiguration(config_setting_t* setting);

    // The string belongs to libconfig and stays valid while the
    // configuration is loaded.
    const char* stringValue(const char* name);
    int intValue(const char* name);
    bool boolValue(const char* name);
    double doubleValue(const char* name);

    // The plug-in type name: stringValue("type").
    const char* type();
    // intValue("interval").
    int interval();

    // A link to a further configuration; nothing sets it, so always null.
    PluginConfiguration* next();

private:
    config_setting_t* setting;
    PluginConfiguration* nextLink;
};

#endif
