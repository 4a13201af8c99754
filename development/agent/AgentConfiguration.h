#ifndef ORVANTA_HOST_AGENTCONFIGURATION_H
#define ORVANTA_HOST_AGENTCONFIGURATION_H

#include <libconfig.h>

#include <vector>

// The agent's configuration file as the supervisor writes it: server,
// username, password, interval, the list of plug-in libraries to load and
// the list of plug-in groups. Every text it hands out, and every group,
// belongs to the configuration and stays valid as long as this object.
class AgentConfiguration {
public:
    AgentConfiguration();
    ~AgentConfiguration();
    AgentConfiguration(const AgentConfiguration&) = delete;
    AgentConfiguration& operator=(const AgentConfiguration&) = delete;

    // Parses path; false, with an ERR line naming the file, the line and
    // libconfig's reason, when it cannot be read or parsed.
    bool read(const char* path);

    // Null (or 0) when the key is missing or of another type.
    const char* server() const;
    const char* username() const;
    const char* password() const;
    int interval() const;

    // The strings of "load" in order; entries that are not strings are
    // left out.
    unsigned libraryCount() const;
    const char* library(unsigned index) const;

    // The groups of "plugins" in order; index must be below groupCount().
    unsigned groupCount() const;
    config_setting_t* group(unsigned index) const;

private:
    const char* text(const char* key) const;
    // The entries of the list or array key that kept accepts, in order.
    std::vector<config_setting_t*> entries(const char* key, bool (*kept)(const config_setting_t*)) const;

    config_t config;
};

#endif
