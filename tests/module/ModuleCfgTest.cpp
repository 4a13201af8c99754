// The settings record against the real path "/opt/orvanta/etc/settings",
// inside a sandbox that this test program enters once.
#include "module_cfg.h"

#include "CCaller.h"
#include "Sandbox.h"
#include "SandboxTesting.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>

using orvanta::test::Sandbox;

namespace {

const char settingsPath[] = "/opt/orvanta/etc/settings";

Sandbox* sandbox = nullptr;

class ModuleCfg : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVANTA_REQUIRE_SANDBOX();
        ASSERT_NE(sandbox, nullptr) << "could not enter the sandbox";
        ASSERT_TRUE(sandbox->makeDir("/opt/orvanta/etc"));
        unlink(settingsPath);
    }
    void TearDown() override
    {
        free(loaded.username);
        free(loaded.password);
    }

    std::string settingsFile() { return sandbox->readFile(settingsPath).value_or("<absent>"); }

    module_settings loaded{99, nullptr, nullptr, 99};
};

TEST_F(ModuleCfg, LoadReadsTheFourKeys)
{
    ASSERT_TRUE(sandbox->writeFile(settingsPath,
                                   "MOD_ORVANTA_ENABLED=1\n"
                                   "MOD_ORVANTA_USERNAME=\"user name\"\n"
                                   "MOD_ORVANTA_PASSWORD=secret\n"
                                   "MOD_ORVANTA_INTERVAL=5\n"));
    module_cfg_load(&loaded);
    EXPECT_EQ(loaded.enabled, 1u);
    EXPECT_STREQ(loaded.username, "user name");
    EXPECT_STREQ(loaded.password, "secret");
    EXPECT_EQ(loaded.interval, 5u);
}

TEST_F(ModuleCfg, LoadWithoutFileGivesDefaults)
{
    module_cfg_load(&loaded);
    EXPECT_EQ(loaded.enabled, 0u);
    ASSERT_NE(loaded.username, nullptr);
    ASSERT_NE(loaded.password, nullptr);
    EXPECT_STREQ(loaded.username, "");
    EXPECT_STREQ(loaded.password, "");
    EXPECT_EQ(loaded.interval, 0u);
}

TEST_F(ModuleCfg, SaveWritesExactlyFourLinesAndReplacesTheFile)
{
    ASSERT_TRUE(sandbox->writeFile(settingsPath, "OTHER=1\nMOD_ORVANTA_ENABLED=0\n"));
    char user[] = "user name", pass[] = "secret";
    module_settings settings{5, user, pass, 0};
    EXPECT_EQ(module_cfg_save(&settings), 1);
    EXPECT_EQ(settingsFile(),
              "MOD_ORVANTA_ENABLED=1\n"
              "MOD_ORVANTA_USERNAME=\"user name\"\n"
              "MOD_ORVANTA_PASSWORD=secret\n"
              "MOD_ORVANTA_INTERVAL=0\n");
}

TEST_F(ModuleCfg, SavedLineBreaksCannotSetOtherKeys)
{
    char user[] = "me\nMOD_ORVANTA_INTERVAL=1";
    char pass[] = "pw\r\nMOD_ORVANTA_ENABLED=1";
    module_settings settings{0, user, pass, 7};
    EXPECT_EQ(module_cfg_save(&settings), 1);
    EXPECT_EQ(settingsFile(),
              "MOD_ORVANTA_ENABLED=0\n"
              "MOD_ORVANTA_USERNAME=me\n"
              "MOD_ORVANTA_PASSWORD=pw\n"
              "MOD_ORVANTA_INTERVAL=7\n");
    module_cfg_load(&loaded);
    EXPECT_EQ(loaded.enabled, 0u);
    EXPECT_STREQ(loaded.username, "me");
    EXPECT_EQ(loaded.interval, 7u);
}

TEST_F(ModuleCfg, SaveFailsWithoutFolderOrSpace)
{
    ASSERT_TRUE(sandbox->hide("/opt/orvanta/etc"));
    char empty[] = "";
    module_settings settings{1, empty, empty, 1};
    EXPECT_EQ(module_cfg_save(&settings), 0);
    EXPECT_FALSE(sandbox->exists(settingsPath));

    // A full flash: the settings as they were stay.
    ASSERT_TRUE(sandbox->makeDir("/opt/orvanta/etc"));
    const std::string before =
        "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=me\nMOD_ORVANTA_PASSWORD=secret\n";
    ASSERT_TRUE(sandbox->writeFile(settingsPath, before, 0600));
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit tiny = old;
    tiny.rlim_cur = 10;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    int saved = module_cfg_save(&settings);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(settingsFile(), before);
}

TEST_F(ModuleCfg, UsableFromC)
{
    ASSERT_EQ(c_caller_save_and_load("c user", &loaded), 1);
    EXPECT_EQ(loaded.enabled, 1u);
    EXPECT_STREQ(loaded.username, "c user");
    EXPECT_STREQ(loaded.password, "secret");
    EXPECT_EQ(loaded.interval, 15u);
    EXPECT_EQ(c_caller_read_number(settingsPath, "MOD_ORVANTA_INTERVAL"), 15u);
}

} // namespace

int main(int argc, char** argv)
{
    return orvanta::test::runAllTestsInSandbox(argc, argv, sandbox);
}
