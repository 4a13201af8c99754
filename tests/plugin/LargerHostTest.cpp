// The library as built for the router, with the stand-in declarations, in a
// host whose records and values are 200 bytes larger than the stand-ins
// (the declarations of tests/other-host, their aggregator padded to the
// library's, as MeasurementSupport requires). The handler's run() and the
// measurement support's requests build such objects in their own storage;
// under AddressSanitizer a storage too small is reported there.
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

using orvanta::test::RouterTools;
using orvanta::test::Sandbox;
using Field = ScriptedRequestClient::Field;
using Lines = std::vector<std::string>;

TEST(LargerHost, RunsTheHandlerAndSendsThroughTheLibrary)
{
    static_assert(sizeof(ComposedRecord) > 200 && sizeof(CharValue) > 200 &&
                  sizeof(IntegerValue) > 200, "the larger declarations");
    ORVANTA_REQUIRE_SANDBOX();
    Sandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    RouterTools tools(sandbox);
    ASSERT_TRUE(tools.installed());
    ASSERT_TRUE(sandbox.enter()) << sandbox.lastError();
    tools.modemReady("351234567890123", "4711", "89490200001234567890");

    config_t config;
    config_init(&config);
    ASSERT_EQ(config_read_string(&config, "type = \"system_resources\";"), CONFIG_TRUE);
    PluginConfiguration group(config_root_setting(&config));
    {
        orvanta::test::RecordingRequestClient client;
        TemplateCollection templates;
        Agent agent(client, templates, 77);
        MeasurementSupport measurements(agent);
        agent.setMeasurementSupport(&measurements);
        PluginManager manager;
        ASSERT_TRUE(manager.loadPlugin(TESSARD_SYSTEM_RESOURCES));
        std::unique_ptr<PluginHandler> handler(manager.getPlugin(0)->createHandler(group, agent));
        ASSERT_TRUE(measurements.init());
        ASSERT_TRUE(handler->init());

        const ScriptedRequestClient::Row deviceCheck{Field::integer(2000), Field::integer(1),
                                                     Field::integer(77)};
        client.pushRows({deviceCheck});
        EXPECT_TRUE(measurements.updateSupportedMeasurements());
        ASSERT_TRUE(measurements.addSupportedMeasurement("mobile"));
        client.pushRows({deviceCheck});
        EXPECT_TRUE(measurements.updateSupportedMeasurements());

        ASSERT_TRUE(handler->run());
        ASSERT_TRUE(handler->run());
        client.pushFailure();
        client.pushRows({{Field::integer(40), Field::integer(2)}});
        EXPECT_TRUE(measurements.sendAddedMeasurements());

        const std::string mobile = "1002,77,351234567890123,4711,89490200001234567890";
        EXPECT_EQ(client.requests(), (std::vector<Lines>{{"1001,77"},
                                                         {"1000,77,\"\"\"mobile\"\"\""},
                                                         {mobile, mobile},
                                                         {mobile, mobile},
                                                         {mobile}}));
    }
    config_destroy(&config);
}
