// The built library as a host loads it: registration through plugin_init,
// the refusal of a second registration, finalisation at unload.
#include "Agent.h"
#include "LogCapture.h"
#include "Logger.h"
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

using orvanta::test::RouterTools;
using orvanta::test::Sandbox;

namespace {

const std::string library = TESSARD_SYSTEM_RESOURCES;

// The same file under another path string.
std::string otherPathString()
{
    size_t slash = library.rfind('/');
    return library.substr(0, slash) + "/." + library.substr(slash);
}

} // namespace

TEST(PluginLibrary, RegistersSystemResources)
{
    PluginManager manager;
    std::string log = stderrOf([&] { EXPECT_TRUE(manager.loadPlugin(library.c_str())); });
    EXPECT_EQ(log, "");
    ASSERT_EQ(manager.pluginCount(), 1u);
    EXPECT_STREQ(manager.getPlugin(0)->type(), "system_resources");
}

TEST(PluginLibrary, RefusesASecondRegistrationUnderAnotherPathString)
{
    std::string again = otherPathString();
    StderrCapture unloading;
    {
        PluginManager manager;
        ASSERT_TRUE(manager.loadPlugin(library.c_str()));
        std::string log = stderrOf([&] { EXPECT_FALSE(manager.loadPlugin(again.c_str())); });
        EXPECT_EQ(log, "Plugin system_resources already registered.\n"
                       "Plugin initialization function returned 1.\n");
        EXPECT_EQ(manager.pluginCount(), 1u);

        log = stderrOf([&] { EXPECT_FALSE(manager.loadPlugin(library.c_str())); });
        EXPECT_EQ(log, "Library already loaded: " + library + "\n");
        Logger::instance()->setVerbosity(2);
        unloading.clear();
    }
    Logger::instance()->setVerbosity(0);
    // plugin_finalize succeeds: the one unload line and nothing else.
    EXPECT_EQ(withoutTimes(unloading.text()), dbgLine("Unloading plugin: " + library) + "\n");
}

TEST(PluginLibrary, HandlerFromTheLibraryReportsTheModem)
{
    ORVANTA_REQUIRE_SANDBOX();
    Sandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    RouterTools tools(sandbox);
    ASSERT_TRUE(tools.installed());
    ASSERT_TRUE(sandbox.enter()) << sandbox.lastError();
    tools.modemReady("351234567890123", "4711", "89490200001234567890");

    config_t config;
    config_init(&config);
    ASSERT_EQ(config_read_string(&config, "type = \"system_resources\"; interval = 60;"), CONFIG_TRUE);
    PluginConfiguration group(config_root_setting(&config));
    {
        orvanta::test::RecordingRequestClient client;
        TemplateCollection templates;
        Agent agent(client, templates, 77);
        MeasurementSupport measurements(agent);
        agent.setMeasurementSupport(&measurements);
        PluginManager manager;
        ASSERT_TRUE(manager.loadPlugin(library.c_str()));
        ASSERT_EQ(manager.pluginCount(), 1u);
        std::unique_ptr<PluginHandler> handler(manager.getPlugin(0)->createHandler(group, agent));
        ASSERT_NE(handler, nullptr);
        ASSERT_TRUE(handler->init());
        ASSERT_TRUE(handler->run());
        ASSERT_TRUE(measurements.sendAddedMeasurements());
        ASSERT_EQ(client.requests().size(), 1u);
        EXPECT_EQ(client.requests()[0],
                  std::vector<std::string>{"1000,77,351234567890123,4711,89490200001234567890"});
    }
    config_destroy(&config);
}
