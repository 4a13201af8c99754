// A plug-in library for the loader tests. Each build of this file is one
// case, chosen by macros:
//   TEST_PLUGIN_NAME         how its log lines name it
//   TEST_PLUGIN_TYPE         registers one plug-in of this type (none when undefined)
//   TEST_PLUGIN_NO_INIT      leaves out plugin_init
//   TEST_PLUGIN_NO_FINALIZE  leaves out plugin_finalize
//   TEST_PLUGIN_INIT_RESULT, TEST_PLUGIN_FINALIZE_RESULT  forced results (plugin_init
//                            registers its type first)
//   TEST_PLUGIN_UNRESOLVED   calls a function that no one provides
// It links neither the host, the framework nor libconfig: the test program
// that opens it provides them.
#include "AbstractAgent.h"
#include "Aggregator.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "IntegerValue.h"
#include "Logger.h"
#include "Plugin.h"
#include "PluginConfiguration.h"
#include "PluginHandler.h"
#include "PluginManager.h"
#include "RequestClient.h"

#include <libconfig.h>
#include <new>

#ifndef TEST_PLUGIN_INIT_RESULT
#define TEST_PLUGIN_INIT_RESULT 0
#endif
#ifndef TEST_PLUGIN_FINALIZE_RESULT
#define TEST_PLUGIN_FINALIZE_RESULT 0
#endif

namespace {

// init() reads a configuration text with libconfig; run() sends one record
// of interval, device id and type through the agent's request client.
class TestHandler : public PluginHandler {
public:
    TestHandler(PluginConfiguration& configuration, AbstractAgent& agent)
        : PluginHandler(configuration, agent)
    {
    }

    bool init() override
    {
        config_t config;
        config_init(&config);
        int answer = 0;
        bool ok = config_read_string(&config, "answer = 42;") == CONFIG_TRUE &&
                  config_lookup_int(&config, "answer", &answer) == CONFIG_TRUE && answer == 42;
        config_destroy(&config);
        return ok;
    }

    bool run() override
    {
        ComposedRecord record(false);
        if (!record.add(IntegerValue(interval())) || !record.add(IntegerValue(*deviceId)) ||
            !record.add(CharValue(type(), false)))
            return false;
        Aggregator response(1, false, false);
        return requestClient->request(record, response, nullptr) == 0;
    }
};

#ifdef TEST_PLUGIN_TYPE
class TestPlugin : public Plugin {
public:
    const char* type() const override { return TEST_PLUGIN_TYPE; }

    PluginHandler* createHandler(PluginConfiguration& configuration, AbstractAgent& agent) const override
    {
        return new (std::nothrow) TestHandler(configuration, agent);
    }
};

TestPlugin plugin;
#endif

} // namespace

#ifndef TEST_PLUGIN_NO_INIT
int plugin_init(PluginManager* manager)
{
    Logger::log(Logger::MSG, "%s: init", TEST_PLUGIN_NAME);
#ifdef TEST_PLUGIN_TYPE
    if (!manager->addPlugin(plugin))
        return 1;
#else
    (void)manager;
#endif
    return TEST_PLUGIN_INIT_RESULT;
}
#endif

#ifdef TEST_PLUGIN_UNRESOLVED
extern "C" int orvanta_missing_function();
#endif

#ifndef TEST_PLUGIN_NO_FINALIZE
int plugin_finalize(PluginManager*)
{
    Logger::log(Logger::MSG, "%s: finalize", TEST_PLUGIN_NAME);
#ifdef TEST_PLUGIN_UNRESOLVED
    return orvanta_missing_function();
#endif
    return TEST_PLUGIN_FINALIZE_RESULT;
}
#endif
