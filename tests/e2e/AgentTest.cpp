// The development agent with the plug-in library, as whole programs in a
// sandbox: what reaches the wire for known router answers, a modem that
// is late, a library named twice, bad libraries and groups, a platform
// that reports errors, and a clean stop.
#include "LogCapture.h"
#include "ModuleSandbox.h"

#include <sys/wait.h>
#include <cstdlib>
#include <fstream>

using namespace orvanta::test;

namespace {

// What the agent shows of its templates before its first request.
const std::string registration =
    R"(identifier: com_orvanta_posix_agent_a19aa7163a456d6c
template: 10,1000,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING,"{""ovx_SupportedMeasurements"":[%%]}"
template: 10,1001,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED,"{""ovx_SupportedMeasurements"":[]}"
template: 11,2000,,"$.ovx_IsDevice","$.id"
template: 10,1002,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING STRING STRING,"{""ovx_Mobile"":{""imei"":""%%"",""cellId"":""%%"",""iccid"":""%%""}}"
)";

const char record[] = "1002,4242,351234567890123,4711,89490200001234567890";

class AgentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVANTA_REQUIRE_SANDBOX();
        ASSERT_TRUE(module.ready) << module.sandbox.lastError();
        module.tools.modemReady("351234567890123", "4711", "89490200001234567890");
        ASSERT_TRUE(module.sandbox.writeFile(ModuleSandbox::configurationPath,
                                             agentConfiguration("router-17", "secret", 300, 60)));
    }

    // Runs the agent for one round; gives its exit status.
    int runOnce(std::vector<std::string> options = {})
    {
        std::vector<std::string> argv{ModuleSandbox::agentPath, "-1", "-d", "4242"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back("-c");
        argv.push_back(ModuleSandbox::configurationPath);
        pid_t pid = module.start(argv);
        if (pid < 0) {
            ADD_FAILURE() << "start failed: " << module.sandbox.lastError();
            return -1;
        }
        int status = -1;
        EXPECT_TRUE(module.sandbox.waitExit(pid, 30s, &status));
        return status;
    }

    ModuleSandbox module;
};

} // namespace

TEST_F(AgentTest, OneRoundPutsTheMobileRecordOnTheWire)
{
    int status = runOnce();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << module.log();
    EXPECT_EQ(module.wire(), registration + "request: " + record + "\nstatus: 0\n");
    // The sibling library is not there: the loader says so, the agent goes on.
    EXPECT_NE(module.log().find("tessard-measured-values.so: cannot open shared object file"),
              std::string::npos)
        << module.log();
    EXPECT_EQ(module.tools.calls(), "rtrinfo module\nrtrinfo mobile\ncellctl AT^SCID\n");
}

TEST_F(AgentTest, TheSupervisorsCommandLineWorks)
{
    pid_t pid = module.start({ModuleSandbox::agentPath, "-vc", ModuleSandbox::configurationPath});
    ORVANTA_REQUIRE_STARTED(module.sandbox, pid);
    ASSERT_TRUE(module.waitForWire("request: 1002,1,351234567890123,4711,89490200001234567890\n"))
        << module.wire() << module.log();
    // -v: warnings and messages decorated, no debug lines.
    EXPECT_TRUE(module.waitForLog("[WRN] \x1b[0m\x1b[33mNo plugin of type measured_values.\x1b[0m\n"))
        << module.log();
    EXPECT_EQ(module.log().find("[DBG]"), std::string::npos);

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = -1;
    ASSERT_TRUE(module.sandbox.waitExit(pid, 2s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(module.log().find("Agent stopped."), std::string::npos);
}

TEST_F(AgentTest, AModemThatIsLateIsReportedOnceItAnswers)
{
    module.tools.modemReady("", "4711", "89490200001234567890");
    ASSERT_TRUE(module.sandbox.writeFile(ModuleSandbox::configurationPath,
                                         agentConfiguration("router-17", "secret", 300, 1)));
    pid_t pid =
        module.start({ModuleSandbox::agentPath, "-v", "-d", "4242", "-c", ModuleSandbox::configurationPath});
    ORVANTA_REQUIRE_STARTED(module.sandbox, pid);

    ASSERT_TRUE(module.waitForLog("No mobile info available", 2)) << module.log();
    EXPECT_EQ(module.wire().find("request:"), std::string::npos) << module.wire();

    module.tools.modemReady("351234567890123", "4711", "89490200001234567890");
    ASSERT_TRUE(module.waitForWire(std::string("request: ") + record + "\nstatus: 0\n")) << module.wire();
    EXPECT_EQ(module.wire().find("request: 1002,4242,\n"), std::string::npos);
    EXPECT_EQ(module.wire().find("request: 1002,4242,,"), std::string::npos);

    ASSERT_EQ(::kill(pid, SIGINT), 0);
    int status = -1;
    ASSERT_TRUE(module.sandbox.waitExit(pid, 2s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(AgentTest, TheLibraryUnderASecondPathIsRefused)
{
    ASSERT_TRUE(module.sandbox.writeFile(
        ModuleSandbox::configurationPath,
        agentConfiguration("router-17", "secret", 300, 60,
                           "  \"tessard-system-resources.so\",\r\n"
                           "  \"/opt/orvanta/lib/tessard-system-resources.so\"\r\n")));
    int status = runOnce();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(module.log().find("\nPlugin system_resources already registered.\n"
                                "Plugin initialization function returned 1.\n"),
              std::string::npos)
        << module.log();
    // The first registration stands: one handler, one record.
    EXPECT_EQ(occurrences(module.wire(), "request: "), 1u) << module.wire();
    EXPECT_EQ(occurrences(module.wire(), "template: 10,1002,"), 1u);
}

TEST_F(AgentTest, BadLibrariesAndGroupsAreReportedAndSkipped)
{
#ifndef TEST_PLUGIN_NO_INIT
    GTEST_SKIP() << "this build has not the loader tests' libraries";
#else
    ASSERT_TRUE(module.sandbox.writeFile("/opt/orvanta/lib/text.so", std::string(100, 'x'), 0755));
    // One line of the file a line here.
    // clang-format off
    ASSERT_TRUE(module.sandbox.writeFile(
        ModuleSandbox::configurationPath,
        "load = ( \"/opt/orvanta/lib/text.so\", \"/opt/orvanta/lib\", \"" TEST_PLUGIN_NO_INIT
        "\",\r\n  \"" TEST_PLUGIN_INIT_FAILS "\", \"tessard-system-resources.so\" );\r\n"
        "plugins = ( { interval = 60; }, { type = \"nobody\"; interval = 60; },\r\n"
        "  { type = \"system_resources\"; interval = 60; } );\r\n"));
    // clang-format on
    // AddressSanitizer keeps the globals of a closed library in its list and
    // reads them when the next library registers its own for the ODR check:
    // after the library that fails its init is closed, that read may hit
    // unmapped memory. The agent of this test runs without the check.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string saved = asan ? asan : "";
    ::setenv("ASAN_OPTIONS", "detect_odr_violation=0", 1);
    int status = runOnce({"-v"});
    if (asan)
        ::setenv("ASAN_OPTIONS", saved.c_str(), 1);
    else
        ::unsetenv("ASAN_OPTIONS");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << module.log();
    EXPECT_EQ(module.wire(), registration + "request: " + record + "\nstatus: 0\n");
    // The library whose plugin_init registered "alpha" and failed is gone
    // with its plug-in before the next one registers.
    EXPECT_EQ(withoutTimes(module.log()),
              msgLine("Server (none), user (none), interval 0 s.") + "\n" +
                  errLine("/opt/orvanta/lib/text.so: invalid ELF header") + "\n" +
                  errLine("/opt/orvanta/lib: cannot read file data: Is a directory") + "\n" +
                  errLine(TEST_PLUGIN_NO_INIT ": undefined symbol: plugin_init") + "\n" +
                  msgLine("initfails: init") + "\n" + errLine("Plugin initialization function returned 7.") +
                  "\n" + wrnLine("No plugin of type (none).") + "\n" + wrnLine("No plugin of type nobody.") +
                  "\n" + msgLine("Handler system_resources, interval 60 s.") + "\n" +
                  msgLine("Agent running.") + "\n" + msgLine("Agent stopped.") + "\n");
#endif
}

TEST_F(AgentTest, RecordsThePlatformRejectsAreSentAgain)
{
    std::string answers = module.sandbox.dir() + "/answers";
    std::ofstream(answers) << "# transport failures, then the first line fails\n"
                              "fail\n"
                              "fail 7\n"
                              "40,1\n";
    int status = runOnce({"-a", answers});
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::string line = std::string("request: ") + record + "\n";
    EXPECT_EQ(module.wire(), registration + line + "status: 1\n" + line + "status: 7\n" + line +
                                 "status: 0\nresponse: 40,1\n" + line + "status: 0\n");
}

TEST_F(AgentTest, RecordsKeptAfterThreeFailedPassesGoOutWithTheNextRound)
{
    std::string answers = module.sandbox.dir() + "/answers";
    std::ofstream(answers) << "40,1\n40,1\n40,1\n";
    ASSERT_TRUE(module.sandbox.writeFile(ModuleSandbox::configurationPath,
                                         agentConfiguration("router-17", "secret", 300, 1)));
    pid_t pid = module.start(
        {ModuleSandbox::agentPath, "-d", "4242", "-a", answers, "-c", ModuleSandbox::configurationPath});
    ORVANTA_REQUIRE_STARTED(module.sandbox, pid);

    std::string line = std::string("request: ") + record + "\n";
    std::string twoLines = line + line + "status: 0\n";
    ASSERT_TRUE(module.waitForWire(twoLines)) << module.wire();
    ::kill(pid, SIGTERM);
    ASSERT_TRUE(module.sandbox.waitExit(pid, 2s));
    std::string rejected = line + "status: 0\nresponse: 40,1\n";
    EXPECT_EQ(module.wire().substr(0, registration.size() + 3 * rejected.size() + twoLines.size()),
              registration + rejected + rejected + rejected + twoLines);
}
