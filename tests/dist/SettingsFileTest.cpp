// The default settings file of the installed module is what the settings
// writer writes for the default record, and reads back as that record.
#include "module_cfg.h"

#include "InitScript.h"
#include "SandboxTesting.h"
#include "TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace orvanta::test;

namespace {

const char settingsPath[] = "/opt/orvanta/etc/settings";

Sandbox* sandbox = nullptr;

TEST(DefaultSettings, AreWhatTheSettingsWriterWritesAndReadBackAsTheDefaults)
{
    ORVANTA_REQUIRE_SANDBOX();
    ASSERT_NE(sandbox, nullptr) << "could not enter the sandbox";
    ASSERT_TRUE(sandbox->makeDir("/opt/orvanta/etc"));

    char empty[] = "";
    const module_settings defaults{0, empty, empty, 60};
    ASSERT_EQ(module_cfg_save(&defaults), 1);
    const std::string shipped = sourceFile("dist/settings");
    ASSERT_FALSE(shipped.empty());
    EXPECT_EQ(sandbox->readFile(settingsPath), shipped);

    ASSERT_TRUE(sandbox->writeFile(settingsPath, shipped, 0600));
    module_settings loaded{99, nullptr, nullptr, 99};
    module_cfg_load(&loaded);
    EXPECT_EQ(loaded.enabled, 0u);
    EXPECT_STREQ(loaded.username, "");
    EXPECT_STREQ(loaded.password, "");
    EXPECT_EQ(loaded.interval, 60u);
    std::free(loaded.username);
    std::free(loaded.password);
}

}  // namespace

int main(int argc, char** argv)
{
    return orvanta::test::runAllTestsInSandbox(argc, argv, sandbox);
}
