// The whole module: the supervisor starts the development agent as
// "/opt/orvanta/bin/tessard" with the configuration it wrote, the agent
// loads the plug-in and the ovx_Mobile record reaches the wire; an agent
// that dies is started again and goes on reporting.
#include "LogCapture.h"
#include "ModuleSandbox.h"
#include "Processes.h"
#include "Transcript.h"

#include <sys/wait.h>

using namespace orvanta::test;

namespace {

const char settings[] =
    "MOD_ORVANTA_ENABLED=1\n"
    "MOD_ORVANTA_USERNAME=router-17\n"
    "MOD_ORVANTA_PASSWORD=secret\n"
    "MOD_ORVANTA_INTERVAL=5\n";

const char wireRecord[] = "request: 1002,1,351234567890123,4711,89490200001234567890\nstatus: 0\n";

pid_t agentPid(Sandbox& sandbox)
{
    std::optional<std::string> text = sandbox.readFile(ModuleSandbox::agentPidPath);
    return text ? static_cast<pid_t>(std::atol(text->c_str())) : -1;
}

} // namespace

TEST(Module, TheSupervisedAgentReportsTheModemAndSurvivesARestart)
{
    ORVANTA_REQUIRE_SANDBOX();
    ModuleSandbox module;
    ASSERT_TRUE(module.ready) << module.sandbox.lastError();
    module.tools.modemReady("351234567890123", "4711", "89490200001234567890");
    ASSERT_TRUE(module.sandbox.writeFile("/opt/orvanta/etc/settings", settings));

    pid_t supervisor = module.start({ORVANTA_SUPERVISOR});
    ORVANTA_REQUIRE_STARTED(module.sandbox, supervisor);
    SyslogRecorder& syslog = module.sandbox.syslog();

    ASSERT_TRUE(module.waitForWire(wireRecord)) << module.wire() << module.log();
    EXPECT_EQ(module.wire().rfind("identifier: com_orvanta_posix_agent_", 0), 0u) << module.wire();
    // -v from the supervisor's command line: decorated lines, no debug lines.
    EXPECT_NE(
        withoutTimes(module.log())
            .find(msgLine("Server http://developer.orvanta.com/s, user router-17, interval 300 s.") + "\n"),
        std::string::npos)
        << module.log();

    // The agent dies; the supervisor starts it again, and it reports again.
    pid_t first = agentPid(module.sandbox);
    ASSERT_GT(first, 0);
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    ASSERT_TRUE(syslog.waitForText("agent_terminated", 5s));
    ASSERT_TRUE(module.waitForWire(wireRecord, 2, 20s)) << module.wire();
    EXPECT_EQ(occurrences(module.wire(), "identifier: "), 2u);
    pid_t second = agentPid(module.sandbox);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);

    ASSERT_EQ(::kill(supervisor, SIGTERM), 0);
    int status = -1;
    ASSERT_TRUE(module.sandbox.waitExit(supervisor, 5s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    syslog.waitForCount(6, 1s);
    EXPECT_EQ(transcript(syslog.messages(), supervisor), R"(notice.daemon orvanta[PID]: started
notice.daemon orvanta[PID]: Starting agent
notice.daemon orvanta[PID]: agent_terminated
notice.daemon orvanta[PID]: Starting agent
notice.daemon orvanta[PID]: sending SIGKILL to agent
notice.daemon orvanta[PID]: terminated
)");
    // The agent got SIGKILL.
    EXPECT_TRUE(orvanta::test::processEndsWithin(second, 5s));
}
