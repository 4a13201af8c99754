// A host that loads the plug-in library inside an entered sandbox whose
// router tools report a ready modem, with one plug-in group read from a
// libconfig text. Declared in the order of their lives: the configuration
// outlives the handlers made from it, the sandbox everything.
#ifndef ORVANTA_TESTS_PLUGIN_LIBRARYHOST_H
#define ORVANTA_TESTS_PLUGIN_LIBRARYHOST_H

#include "Agent.h"
#include "MeasurementSupport.h"
#include "Plugin.h"
#include "PluginConfiguration.h"
#include "PluginHandler.h"
#include "PluginManager.h"
#include "RecordingRequestClient.h"
#include "RouterTools.h"
#include "SandboxTesting.h"
#include "TemplateCollection.h"

#include <libconfig.h>

#include <memory>
#include <string>

class LibraryHost {
public:
    LibraryHost(const char* groupText, const std::string& library) : config(groupText)
    {
        ready = sandbox.ok() && tools.installed() && sandbox.enter();
        if (ready)
            tools.modemReady("351234567890123", "4711", "89490200001234567890");
        ready = ready && config.read;
        agent.setMeasurementSupport(&measurements);
        ready = ready && manager.loadPlugin(library.c_str()) && manager.pluginCount() == 1;
        if (ready)
            handler.reset(manager.getPlugin(0)->createHandler(group, agent));
        ready = ready && handler;
    }

    orvanta::test::Sandbox sandbox;
    orvanta::test::RouterTools tools{sandbox};
    struct Config {
        explicit Config(const char* text)
        {
            config_init(&c);
            read = config_read_string(&c, text) == CONFIG_TRUE;
        }
        ~Config() { config_destroy(&c); }
        config_t c;
        bool read;
    } config;
    PluginConfiguration group{config_root_setting(&config.c)};
    orvanta::test::RecordingRequestClient client;
    TemplateCollection templates;
    Agent agent{client, templates, 77};
    MeasurementSupport measurements{agent};
    PluginManager manager;
    std::unique_ptr<PluginHandler> handler;
    bool ready = false;
};

#endif
