// orvanta-settings, the production program, in a sandbox: each row runs
// one command line on a settings file and compares its exit code, what it
// wrote and the file it left.
#include "FileBytes.h"
#include "SandboxTesting.h"
#include "ShellCommand.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>
#include <memory>
#include <optional>

using namespace orvanta::test;

namespace {

const char settingsPath[] = "/opt/orvanta/etc/settings";
const char defaultsPath[] = "/opt/orvanta/etc/settings.default";
const std::optional<std::string> absent;

const std::string configured =
    "MOD_ORVANTA_ENABLED=1\n"
    "MOD_ORVANTA_USERNAME=\"router 17\"\n"
    "MOD_ORVANTA_PASSWORD=secret\n"
    "MOD_ORVANTA_INTERVAL=5\n";

const std::string usage =
    "usage: orvanta-settings get KEY\n"
    "       orvanta-settings set KEY VALUE\n"
    "       orvanta-settings set KEY -\n"
    "       orvanta-settings show\n"
    "       orvanta-settings prepare\n"
    "Reads and changes the module settings, /opt/orvanta/etc/settings,\n"
    "as the module reads them. KEY, in any case, is one of\n"
    "  MOD_ORVANTA_ENABLED   0 (off) or 1 (on)\n"
    "  MOD_ORVANTA_USERNAME  the platform user name\n"
    "  MOD_ORVANTA_PASSWORD  the platform password\n"
    "  MOD_ORVANTA_INTERVAL  the reporting interval in minutes, 0 to 35791394\n"
    "get      prints the value as the module reads it\n"
    "set      changes the key's line, or adds one, keeping the other lines; a\n"
    "         missing settings file is made from /opt/orvanta/etc/settings.default.\n"
    "         With - the value is one line of the standard input: give secrets\n"
    "         so, since other processes can see the command line\n"
    "show     prints the four settings, the password masked\n"
    "prepare  makes the settings file from the defaults where it is missing and\n"
    "         removes the copies of it that interrupted saves left\n"
    "Exit status: 0 done, 1 KEY not in the file (get), 2 usage, 3 unknown key,\n"
    "4 value refused, 5 no settings file, 6 the file cannot be read or saved.\n";

std::string refused(const std::string& why)
{
    return "orvanta-settings: " + why + "\n";
}

const std::string unknown = refused(
    "unknown key MOD_ORVANTA_SERVER (known: MOD_ORVANTA_ENABLED, MOD_ORVANTA_USERNAME, MOD_ORVANTA_PASSWORD, "
    "MOD_ORVANTA_INTERVAL)");
const std::string lineBreak =
    refused("the value of MOD_ORVANTA_USERNAME holds a line break (CR or LF), which no setting can hold");

class SettingsTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVANTA_REQUIRE_SANDBOX();
        sandbox = std::make_unique<Sandbox>();
        ASSERT_TRUE(sandbox->ok()) << sandbox->lastError();
    }

    void place(const char* path, const std::optional<std::string>& bytes)
    {
        ASSERT_TRUE(bytes ? sandbox->writeFile(path, *bytes, 0644) : sandbox->hide(path))
            << sandbox->lastError();
    }

    ScriptResult run(const std::vector<std::string>& args, const Sandbox::ChildSetup& setup = {})
    {
        return runShell(*sandbox,
                        {"orvanta-settings", {ORVANTA_SETTINGS_TOOL}, Sandbox::defaultEnvironment()}, args,
                        setup);
    }

    std::unique_ptr<Sandbox> sandbox;
};

TEST_F(SettingsTool, CommandLines)
{
    const std::string defaults = "MOD_ORVANTA_ENABLED=0\nMOD_ORVANTA_INTERVAL=60\n";
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> before;
        int exitCode;
        std::string out, err;
        std::optional<std::string> after;
        bool defaultsShipped = true;
        const char* input = ""; // the standard input
    } rows[] = {
        // get: the value as the supervisor reads it; a missing line is no empty value.
        {{"get", "MOD_ORVANTA_USERNAME"}, configured, 0, "router 17\n", "", configured},
        {{"get", "mod_orvanta_interval"},
         "MOD_ORVANTA_INTERVAL=12abc\n",
         0,
         "12\n",
         "",
         "MOD_ORVANTA_INTERVAL=12abc\n"},
        {{"get", "MOD_ORVANTA_PASSWORD"}, "MOD_ORVANTA_PASSWORD=\n", 0, "\n", "", "MOD_ORVANTA_PASSWORD=\n"},
        {{"get", "MOD_ORVANTA_PASSWORD"},
         "MOD_ORVANTA_ENABLED=1\n",
         1,
         "",
         refused("MOD_ORVANTA_PASSWORD is not in /opt/orvanta/etc/settings; the module reads it as empty"),
         "MOD_ORVANTA_ENABLED=1\n"},
        {{"get", "MOD_ORVANTA_ENABLED"},
         absent,
         5,
         "",
         refused("/opt/orvanta/etc/settings is missing"),
         absent},
        {{"get", "MOD_ORVANTA_SERVER"}, configured, 3, "", unknown, configured},
        // show: what the supervisor reads, the password masked.
        {{"show"},
         configured,
         0,
         "MOD_ORVANTA_ENABLED=1\n"
         "MOD_ORVANTA_USERNAME=router 17\n"
         "MOD_ORVANTA_PASSWORD=********\n"
         "MOD_ORVANTA_INTERVAL=5\n",
         "",
         configured},
        {{"show"},
         "",
         0,
         "MOD_ORVANTA_ENABLED=0\nMOD_ORVANTA_USERNAME=\nMOD_ORVANTA_PASSWORD=\nMOD_ORVANTA_INTERVAL=0\n",
         "",
         ""},
        // set: the key's first line changed, its later lines gone, every other line kept.
        {{"set", "mod_orvanta_password", "new secret"},
         "# router 17\nmod_orvanta_password=old\nMOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_PASSWORD=older\nOTHER=kept",
         0,
         "",
         "",
         "# router 17\nMOD_ORVANTA_PASSWORD=\"new secret\"\nMOD_ORVANTA_ENABLED=1\nOTHER=kept"},
        {{"set", "MOD_ORVANTA_INTERVAL", "007"},
         "MOD_ORVANTA_ENABLED=1",
         0,
         "",
         "",
         "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_INTERVAL=7\n"},
        {{"set", "MOD_ORVANTA_ENABLED", "1"},
         absent,
         0,
         "",
         "",
         "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_INTERVAL=60\n"},
        {{"set", "MOD_ORVANTA_ENABLED", "1"},
         absent,
         5,
         "",
         refused("/opt/orvanta/etc/settings is missing, and so is /opt/orvanta/etc/settings.default"),
         absent,
         false},
        // set refuses what the file could not give back, or the module could not use.
        {{"set", "MOD_ORVANTA_USERNAME", "me\nMOD_ORVANTA_ENABLED=1"},
         configured,
         4,
         "",
         lineBreak,
         configured},
        {{"set", "MOD_ORVANTA_USERNAME", "me\r"}, configured, 4, "", lineBreak, configured},
        {{"set", "MOD_ORVANTA_USERNAME", std::string(16001, 'u')},
         configured,
         4,
         "",
         refused("the value of MOD_ORVANTA_USERNAME is longer than 16000 bytes"),
         configured},
        {{"set", "MOD_ORVANTA_ENABLED", "yes"},
         configured,
         4,
         "",
         refused("MOD_ORVANTA_ENABLED takes 0 (off) or 1 (on), not \"yes\""),
         configured},
        {{"set", "MOD_ORVANTA_INTERVAL", "35791395"},
         configured,
         4,
         "",
         refused("MOD_ORVANTA_INTERVAL takes a whole number from 0 to 35791394, not \"35791395\""),
         configured},
        {{"set", "MOD_ORVANTA_INTERVAL", "35791394"},
         "MOD_ORVANTA_INTERVAL=5\n",
         0,
         "",
         "",
         "MOD_ORVANTA_INTERVAL=35791394\n"},
        // set KEY -: the value is a line of the standard input, its line end no part of it.
        {{"set", "MOD_ORVANTA_PASSWORD", "-"},
         configured,
         0,
         "",
         "",
         "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=\"router 17\"\nMOD_ORVANTA_PASSWORD=\"new secret\"\n"
         "MOD_ORVANTA_INTERVAL=5\n",
         true,
         "new secret\n"},
        {{"set", "MOD_ORVANTA_PASSWORD", "-"},
         "MOD_ORVANTA_PASSWORD=old\n",
         0,
         "",
         "",
         "MOD_ORVANTA_PASSWORD=pw\n",
         true,
         "pw\r\n"},
        {{"set", "MOD_ORVANTA_PASSWORD", "-"},
         "MOD_ORVANTA_PASSWORD=old\n",
         0,
         "",
         "",
         "MOD_ORVANTA_PASSWORD=\n",
         true,
         "\n"},
        {{"set", "MOD_ORVANTA_USERNAME", "-"},
         configured,
         4,
         "",
         lineBreak,
         configured,
         true,
         "me\nMOD_ORVANTA_ENABLED=0\n"},
        {{"set", "MOD_ORVANTA_PASSWORD", "-"},
         configured,
         4,
         "",
         refused("no value of MOD_ORVANTA_PASSWORD on the standard input"),
         configured},
        // prepare: the settings made from the defaults where they are missing, and only there.
        {{"prepare"}, absent, 0, "", "", defaults},
        {{"prepare"}, configured, 0, "", "", configured},
        {{"prepare"},
         absent,
         5,
         "",
         refused("/opt/orvanta/etc/settings is missing, and so is /opt/orvanta/etc/settings.default"),
         absent,
         false},
        {{"set", "MOD_ORVANTA_SERVER", "x"}, configured, 3, "", unknown, configured},
        {{"set", "MOD_ORVANTA_ENABLED"}, configured, 2, "", usage, configured},
        {{}, configured, 2, "", usage, configured},
        {{"--help"}, configured, 0, usage, "", configured},
    };
    for (const auto& row : rows) {
        std::string line;
        for (const std::string& arg : row.args)
            line += " " + (arg.size() > 40 ? arg.substr(0, 10) + "..." : arg);
        SCOPED_TRACE("orvanta-settings" + line);
        place(settingsPath, row.before);
        place(defaultsPath, row.defaultsShipped ? std::optional(defaults) : absent);
        const std::string inputPath = sandbox->dir() + "/input";
        writeFileBytes(inputPath, row.input);
        ScriptResult result = run(row.args, [path = inputPath.c_str()] {
            int fd = open(path, O_RDONLY);
            if (fd < 0 || dup2(fd, STDIN_FILENO) < 0)
                _exit(125);
        });
        EXPECT_EQ(result.exitCode, row.exitCode);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(sandbox->readFile(settingsPath), row.after);
        const bool saved =
            row.exitCode == 0 && (row.args[0] == "set" || (row.args[0] == "prepare" && !row.before));
        EXPECT_EQ(sandbox->fileMode(settingsPath),
                  row.after ? std::optional(mode_t(saved ? 0600 : 0644)) : std::nullopt);
        EXPECT_EQ(sandbox->readFile(defaultsPath), row.defaultsShipped ? std::optional(defaults) : absent);
    }
}

TEST_F(SettingsTool, AFileThatCannotBeReadOrSavedIsLeftAsItWas)
{
    place(settingsPath, configured);
    const Sandbox::ChildSetup readOnly = [] {
        if (mount("/opt/orvanta/etc", "/opt/orvanta/etc", nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, "/opt/orvanta/etc", nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            _exit(125);
    };
    ScriptResult result = run({"set", "MOD_ORVANTA_ENABLED", "0"}, readOnly);
    EXPECT_EQ(result.exitCode, 6);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              refused("cannot save /opt/orvanta/etc/settings (Read-only file system); it is unchanged"));
    EXPECT_EQ(sandbox->readFile(settingsPath), configured);

    ASSERT_EQ(unlink(sandbox->hostPath(settingsPath).c_str()), 0);
    ASSERT_TRUE(sandbox->makeDir(settingsPath));
    const std::string notAFile = refused("cannot read /opt/orvanta/etc/settings: Is a directory");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"get", "MOD_ORVANTA_ENABLED"}, {"set", "MOD_ORVANTA_ENABLED", "0"}}) {
        result = run(args);
        SCOPED_TRACE(args[0]);
        EXPECT_EQ(result.exitCode, 6);
        EXPECT_EQ(result.err, notAFile);
    }
}

} // namespace
