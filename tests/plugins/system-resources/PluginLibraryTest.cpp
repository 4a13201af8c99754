// The built library as a host loads it: registration through plugin_init,
// the refusal of a second registration, finalisation at unload.
#include "LibraryHost.h"
#include "LogCapture.h"
#include "Logger.h"

#include <string>

namespace {

const std::string library = ORVANTA_PLUGIN;

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
        EXPECT_EQ(log,
                  "Plugin system_resources already registered.\n"
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
    LibraryHost host("type = \"system_resources\"; interval = 60;", library);
    ASSERT_TRUE(host.ready) << host.sandbox.lastError();
    ASSERT_TRUE(host.handler->init());
    ASSERT_TRUE(host.handler->run());
    ASSERT_TRUE(host.measurements.sendAddedMeasurements());
    ASSERT_EQ(host.client.requests().size(), 1u);
    EXPECT_EQ(host.client.requests()[0],
              std::vector<std::string>{"1000,77,351234567890123,4711,89490200001234567890"});
}
