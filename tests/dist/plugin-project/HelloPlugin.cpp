// The plug-in type "hello": each run logs one line.
#include "Logger.h"
#include "Plugin.h"
#include "PluginHandler.h"
#include "PluginManager.h"

#include <new>

namespace {

class HelloHandler : public PluginHandler {
public:
    HelloHandler(PluginConfiguration& configuration, AbstractAgent& agent)
        : PluginHandler(configuration, agent)
    {
    }
    bool init() override { return true; }
    bool run() override
    {
        Logger::log(Logger::MSG, "Hello from a plug-in built against the installed framework.");
        return true;
    }
};

class HelloPlugin : public Plugin {
public:
    const char* type() const override { return "hello"; }
    PluginHandler* createHandler(PluginConfiguration& configuration, AbstractAgent& agent) const override
    {
        return new (std::nothrow) HelloHandler(configuration, agent);
    }
};

HelloPlugin aHelloPlugin;

} // namespace

extern "C" {

ORVANTA_EXPORT int plugin_init(PluginManager* manager)
{
    return manager->addPlugin(aHelloPlugin) ? 0 : 1;
}

ORVANTA_EXPORT int plugin_finalize(PluginManager*)
{
    return 0;
}
}
