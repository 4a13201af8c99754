// The handler and the plug-in type with the project's host: what init()
// registers and what each run() puts on the wire, inside a sandbox with
// substitute router tools.
#include "Agent.h"
#include "LogCapture.h"
#include "Logger.h"
#include "MeasurementSupport.h"
#include "PluginConfiguration.h"
#include "RecordingRequestClient.h"
#include "RouterTools.h"
#include "SandboxTesting.h"
#include "SystemResourcesHandler.h"
#include "SystemResourcesPlugin.h"
#include "TemplateCollection.h"

#include <libconfig.h>

#include <memory>

using orvanta::test::RecordingRequestClient;
using orvanta::test::RouterTools;
using orvanta::test::Sandbox;

namespace {

const char mobileTemplate[] =
    "PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,"
    "application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING STRING STRING,"
    "\"{\"\"ovx_Mobile\"\":{\"\"imei\"\":\"\"%%\"\",\"\"cellId\"\":\"\"%%\"\",\"\"iccid\"\":\"\"%%\"\"}}\"";

using Lines = std::vector<std::string>;

class SystemResourcesHandlerTest : public ::testing::Test {
protected:
    SystemResourcesHandlerTest() : agent(client, templates, 12345), measurements(agent)
    {
        agent.setMeasurementSupport(&measurements);
        config_init(&config);
        config_read_string(&config, "plugins = ( { type = \"system_resources\"; interval = 60; } );");
        group = std::make_unique<PluginConfiguration>(
            config_setting_get_elem(config_lookup(&config, "plugins"), 0));
    }

    ~SystemResourcesHandlerTest() override
    {
        Logger::instance()->setVerbosity(0);
        config_destroy(&config);
    }

    void SetUp() override
    {
        ORVANTA_REQUIRE_SANDBOX();
        sandbox = std::make_unique<Sandbox>();
        ASSERT_TRUE(sandbox->ok());
        tools = std::make_unique<RouterTools>(*sandbox);
        ASSERT_TRUE(tools->installed());
        ASSERT_TRUE(sandbox->enter()) << sandbox->lastError();
        handler = std::make_unique<SystemResourcesHandler>(*group, agent);
    }

    // Sends the queue and gives the request's lines (none when no request).
    Lines sent()
    {
        client.forgetRequests();
        EXPECT_TRUE(measurements.sendAddedMeasurements());
        return client.requests().empty() ? Lines() : client.requests().front();
    }

    RecordingRequestClient client;
    TemplateCollection templates;
    Agent agent;
    MeasurementSupport measurements;
    config_t config;
    std::unique_ptr<PluginConfiguration> group;
    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<RouterTools> tools;
    std::unique_ptr<SystemResourcesHandler> handler;
};

} // namespace

TEST_F(SystemResourcesHandlerTest, RegistersTheMobileTemplateOnce)
{
    ASSERT_TRUE(handler->init());
    std::string line = std::string("10,1000,") + mobileTemplate + "\r\n";
    EXPECT_EQ(templates.templateString(), line);

    EXPECT_FALSE(handler->init());
    EXPECT_EQ(templates.templateString(), line);
    EXPECT_EQ(tools->calls(), "");
}

TEST_F(SystemResourcesHandlerTest, ReportsTheModemAsOneRecord)
{
    ASSERT_TRUE(measurements.init());
    ASSERT_TRUE(handler->init());
    tools->modemReady("351234567890123", "4711", "89490200001234567890");

    ASSERT_TRUE(handler->run());
    EXPECT_EQ(sent(), Lines{"1002,12345,351234567890123,4711,89490200001234567890"});

    // The id is read at each run, not kept from construction.
    agent.setDeviceId(0);
    tools->modemReady("351234567890123", "0815", "89490200001234567890");
    ASSERT_TRUE(handler->run());
    EXPECT_EQ(sent(), Lines{"1002,0,351234567890123,0815,89490200001234567890"});
}

TEST_F(SystemResourcesHandlerTest, RunBeforeInitCarriesNoMessageId)
{
    tools->modemReady("351234567890123", "4711", "89490200001234567890");
    ASSERT_TRUE(handler->run());
    EXPECT_EQ(sent(), Lines{"0,12345,351234567890123,4711,89490200001234567890"});
}

TEST_F(SystemResourcesHandlerTest, ImeiAloneGivesTwoEmptyTexts)
{
    ASSERT_TRUE(handler->init());
    tools->answer("module", "IMEI: 351234567890123\n");
    ASSERT_TRUE(handler->run());
    EXPECT_EQ(sent(), Lines{"1000,12345,351234567890123,,"});
}

TEST_F(SystemResourcesHandlerTest, WithoutImeiWarnsAndQueuesNothing)
{
    ASSERT_TRUE(handler->init());
    tools->modemReady("", "4711", "89490200001234567890");
    Logger::instance()->setVerbosity(2);
    bool ran = false;
    std::string log = stderrOf([&] { ran = handler->run(); });
    Logger::instance()->setVerbosity(0);

    EXPECT_TRUE(ran);
    EXPECT_EQ(withoutTimes(log),
              dbgLine("Creating mobile info.") + "\n" + wrnLine("No mobile info available") + "\n");
    EXPECT_EQ(sent(), Lines());
    EXPECT_TRUE(client.requests().empty());
}

TEST_F(SystemResourcesHandlerTest, QuietAtVerbosityZero)
{
    tools->modemReady("", "", "");
    EXPECT_EQ(stderrOf([&] { EXPECT_TRUE(handler->run()); }), "");
}

TEST_F(SystemResourcesHandlerTest, ThePluginCreatesHandlersOfItsType)
{
    SystemResourcesPlugin plugin;
    EXPECT_STREQ(plugin.type(), "system_resources");
    std::unique_ptr<PluginHandler> created(plugin.createHandler(*group, agent));
    ASSERT_NE(created, nullptr);
    EXPECT_STREQ(created->type(), "system_resources");
    EXPECT_EQ(created->interval(), 60);
    EXPECT_TRUE(created->init());
    EXPECT_FALSE(created->init());
}
