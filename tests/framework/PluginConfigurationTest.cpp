// Lookups over groups that libconfig parsed, as the agent's configuration
// file gives them.
#include "PluginConfiguration.h"

#include "ConfigText.h"

#include <gtest/gtest.h>

namespace {

const char agentConfiguration[] = R"(
plugins = (
  { type = "system_resources"; interval = 60; },
  { type = 5; interval = "60"; on = true; off = false; ratio = 2.5; whole = 3;
    small64 = 7L; big64 = 5000000000L; negative = -12; hex = 0x10; text = "true"; },
  { },
  { type = "measured_values"; interval = 10.0; }
);
)";

class PluginConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(text.ok()); }

    config_setting_t* group(int index)
    {
        std::string path = "plugins.[" + std::to_string(index) + "]";
        return text.at(path.c_str());
    }

    ConfigText text{agentConfiguration};
};

} // namespace

TEST_F(PluginConfigurationTest, ReadsTypeAndInterval)
{
    PluginConfiguration configuration(group(0));
    EXPECT_STREQ(configuration.type(), "system_resources");
    EXPECT_EQ(configuration.interval(), 60);
    EXPECT_STREQ(configuration.stringValue("type"), "system_resources");
    EXPECT_EQ(configuration.intValue("interval"), 60);
}

TEST_F(PluginConfigurationTest, HandsOutLibconfigsOwnString)
{
    PluginConfiguration configuration(group(0));
    config_setting_t* type = config_setting_get_member(group(0), "type");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(configuration.type(), config_setting_get_string(type));
}

TEST_F(PluginConfigurationTest, MissingMembersGiveTheDefaults)
{
    PluginConfiguration configuration(group(2));
    EXPECT_EQ(configuration.type(), nullptr);
    EXPECT_EQ(configuration.interval(), 0);
    EXPECT_EQ(configuration.stringValue("name"), nullptr);
    EXPECT_EQ(configuration.intValue("count"), 0);
    EXPECT_FALSE(configuration.boolValue("enabled"));
    EXPECT_EQ(configuration.doubleValue("ratio"), 0.0);
}

TEST_F(PluginConfigurationTest, MembersOfAnotherTypeGiveTheDefaults)
{
    PluginConfiguration configuration(group(1));
    EXPECT_EQ(configuration.type(), nullptr) << "an integer type";
    EXPECT_EQ(configuration.interval(), 0) << "an interval given as a string";
    EXPECT_EQ(configuration.stringValue("whole"), nullptr);
    EXPECT_EQ(configuration.intValue("ratio"), 0);
    EXPECT_FALSE(configuration.boolValue("whole"));
    EXPECT_FALSE(configuration.boolValue("text"));
    EXPECT_EQ(configuration.doubleValue("whole"), 0.0);
    EXPECT_EQ(configuration.doubleValue("text"), 0.0);

    PluginConfiguration floatInterval(group(3));
    EXPECT_STREQ(floatInterval.type(), "measured_values");
    EXPECT_EQ(floatInterval.interval(), 0) << "an interval given as a float";
}

TEST_F(PluginConfigurationTest, ReadsBooleansNumbersAndFloats)
{
    PluginConfiguration configuration(group(1));
    EXPECT_TRUE(configuration.boolValue("on"));
    EXPECT_FALSE(configuration.boolValue("off"));
    EXPECT_EQ(configuration.doubleValue("ratio"), 2.5);
    EXPECT_EQ(configuration.intValue("whole"), 3);
    EXPECT_EQ(configuration.intValue("negative"), -12);
    EXPECT_EQ(configuration.intValue("hex"), 16);
    EXPECT_STREQ(configuration.stringValue("text"), "true");
}

TEST_F(PluginConfigurationTest, ConvertsOnlyAsLibconfigDoes)
{
    PluginConfiguration configuration(group(1));
    EXPECT_EQ(configuration.intValue("small64"), 7) << "a 64-bit value that fits";
    EXPECT_EQ(configuration.intValue("big64"), 0) << "a 64-bit value that does not fit";
    EXPECT_EQ(configuration.doubleValue("whole"), 0.0);

    // With libconfig's own automatic conversion switched on, its lookups
    // convert numbers, and so do these.
    config_set_auto_convert(text.get(), CONFIG_TRUE);
    EXPECT_EQ(configuration.doubleValue("whole"), 3.0);
    EXPECT_EQ(configuration.intValue("ratio"), 2);
}

TEST_F(PluginConfigurationTest, HasNoNextConfiguration)
{
    for (int index : {0, 1, 2, 3}) {
        PluginConfiguration configuration(group(index));
        EXPECT_EQ(configuration.next(), nullptr);
    }
}

TEST_F(PluginConfigurationTest, ANullGroupOrNameHasNoMembers)
{
    PluginConfiguration none(nullptr);
    EXPECT_EQ(none.type(), nullptr);
    EXPECT_EQ(none.interval(), 0);
    EXPECT_FALSE(none.boolValue("on"));
    EXPECT_EQ(none.doubleValue("ratio"), 0.0);
    EXPECT_EQ(none.next(), nullptr);

    PluginConfiguration configuration(group(1));
    EXPECT_EQ(configuration.stringValue(nullptr), nullptr);
    EXPECT_EQ(configuration.intValue(nullptr), 0);
    EXPECT_FALSE(configuration.boolValue(nullptr));
    EXPECT_EQ(configuration.doubleValue(nullptr), 0.0);
}
