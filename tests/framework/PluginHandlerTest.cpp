#include "PluginHandler.h"

#include "ConfigText.h"
#include "PluginConfiguration.h"
#include "RecordingAgent.h"
#include "ScriptedRequestClient.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A handler that shows what the base captured.
class ProbeHandler : public PluginHandler {
public:
    ProbeHandler(PluginConfiguration& configuration, AbstractAgent& agent, bool* destroyed)
        : PluginHandler(configuration, agent), destroyed(destroyed)
    {
    }
    ~ProbeHandler() override { *destroyed = true; }

    bool init() override { return true; }
    bool run() override { return false; }

    AbstractAgent& capturedAgent() { return agent; }
    RequestClient* capturedClient() { return requestClient; }
    TemplateCollection* capturedCollection() { return templateCollection; }
    long currentDeviceId() { return *deviceId; }
    int capturedValue() { return agentValue; }
    PluginConfiguration& capturedConfiguration() { return configuration; }

private:
    bool* destroyed;
};

class PluginHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(text.ok()); }

    ConfigText text{"plugins = ( { type = \"probe\"; interval = 15; }, { } );"};
    PluginConfiguration configuration{text.at("plugins.[0]")};
    ScriptedRequestClient client;
    RecordingAgent agent{&client, 4711, -3};
    bool destroyed = false;
};

} // namespace

TEST_F(PluginHandlerTest, AsksTheAgentOnceForEachCapturedObjectInOrder)
{
    ProbeHandler handler(configuration, agent, &destroyed);
    EXPECT_EQ(agent.calls,
              (std::vector<std::string>{"requestClient", "templateCollection", "deviceId", "agentValue"}));
    handler.init();
    handler.run();
    handler.type();
    handler.interval();
    handler.currentDeviceId();
    EXPECT_EQ(agent.calls.size(), 4u) << "nothing later asks the agent again";
}

TEST_F(PluginHandlerTest, KeepsWhatTheAgentGave)
{
    ProbeHandler handler(configuration, agent, &destroyed);
    EXPECT_EQ(&handler.capturedAgent(), &agent);
    EXPECT_EQ(handler.capturedClient(), &client);
    EXPECT_EQ(handler.capturedCollection(), reinterpret_cast<TemplateCollection*>(&agent.collection));
    EXPECT_EQ(handler.capturedValue(), -3);
    EXPECT_EQ(&handler.capturedConfiguration(), &configuration);
}

TEST_F(PluginHandlerTest, ReadsTheDeviceIdThroughThePointer)
{
    ProbeHandler handler(configuration, agent, &destroyed);
    EXPECT_EQ(handler.currentDeviceId(), 4711);
    agent.id = 99887766;
    EXPECT_EQ(handler.currentDeviceId(), 99887766);
}

TEST_F(PluginHandlerTest, TypeAndIntervalComeFromTheConfiguration)
{
    ProbeHandler handler(configuration, agent, &destroyed);
    EXPECT_STREQ(handler.type(), "probe");
    EXPECT_EQ(handler.interval(), 15);

    PluginConfiguration empty(text.at("plugins.[1]"));
    ProbeHandler bare(empty, agent, &destroyed);
    EXPECT_EQ(bare.type(), nullptr);
    EXPECT_EQ(bare.interval(), 0);
}

TEST_F(PluginHandlerTest, IsDeletedThroughTheBase)
{
    PluginHandler* handler = new ProbeHandler(configuration, agent, &destroyed);
    EXPECT_TRUE(handler->init());
    EXPECT_FALSE(handler->run());
    delete handler;
    EXPECT_TRUE(destroyed);
}
