// MobileInfo against substitute router tools, in this process, inside a
// sandbox: the commands, their order, the scratch files and the cuts.
#include "MobileInfo.h"
#include "RouterTools.h"
#include "SandboxTesting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <memory>

using orvanta::test::readFileBytes;
using orvanta::test::RouterTools;
using orvanta::test::Sandbox;

namespace {

const char allThree[] = "rtrinfo module\nrtrinfo mobile\ncellctl AT^SCID\n";

class MobileInfoTest : public ::testing::Test {
protected:
    void enter()
    {
        sandbox = std::make_unique<Sandbox>();
        ASSERT_TRUE(sandbox->ok());
        tools = std::make_unique<RouterTools>(*sandbox);
        ASSERT_TRUE(tools->installed());
        ASSERT_TRUE(sandbox->enter()) << sandbox->lastError();
    }

    void SetUp() override { ORVANTA_REQUIRE_SANDBOX(); }

    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<RouterTools> tools;
    MobileInfo info;
};

} // namespace

TEST_F(MobileInfoTest, StartsEmptyAndRunsNothing)
{
    enter();
    EXPECT_STREQ(info.imei(), "");
    EXPECT_STREQ(info.cellid(), "");
    EXPECT_STREQ(info.iccid(), "");
    EXPECT_EQ(tools->calls(), "");
}

TEST_F(MobileInfoTest, AsksAllThreeOnceThenOnlyTheCell)
{
    enter();
    tools->modemReady("351234567890123", "4711", "89490200001234567890");

    info.get();
    EXPECT_EQ(tools->calls(), allThree);
    EXPECT_STREQ(info.imei(), "351234567890123");
    EXPECT_STREQ(info.cellid(), "4711");
    EXPECT_STREQ(info.iccid(), "89490200001234567890");
    // The scratch files stay, holding what awk kept of each answer.
    EXPECT_EQ(readFileBytes("/var/orvanta/imei").value_or(""), "351234567890123\n");
    EXPECT_EQ(readFileBytes("/var/orvanta/cell").value_or(""), "4711\r\n");
    EXPECT_EQ(readFileBytes("/var/orvanta/iccid").value_or(""), "89490200001234567890\r\n");

    tools->forgetCalls();
    tools->modemReady("359999999999999", "0815", "89000000000000000001");
    info.get();
    EXPECT_EQ(tools->calls(), "rtrinfo mobile\n");
    EXPECT_STREQ(info.imei(), "351234567890123");
    EXPECT_STREQ(info.cellid(), "0815");
    EXPECT_STREQ(info.iccid(), "89490200001234567890");
}

TEST_F(MobileInfoTest, ModemNotReadyAtFirstIsAskedAgain)
{
    enter();
    tools->modemReady("", "4711", "89490200001234567890");

    info.get();
    EXPECT_STREQ(info.imei(), "");
    EXPECT_STREQ(info.iccid(), "89490200001234567890");

    tools->forgetCalls();
    info.get();
    EXPECT_EQ(tools->calls(), "rtrinfo module\nrtrinfo mobile\n");
    EXPECT_STREQ(info.imei(), "");

    tools->modemReady("351234567890123", "4711", "89490200001234567890");
    info.get();
    EXPECT_STREQ(info.imei(), "351234567890123");
}

TEST_F(MobileInfoTest, NoAnswersLeaveImeiAndIccidUnknown)
{
    enter();
    info.get();
    EXPECT_STREQ(info.imei(), "");
    EXPECT_STREQ(info.cellid(), "");
    EXPECT_STREQ(info.iccid(), "");

    tools->forgetCalls();
    info.get();
    EXPECT_EQ(tools->calls(), allThree);
}

TEST_F(MobileInfoTest, CutsTheImeiAtItsLineEnd)
{
    enter();
    tools->answer("module", "IMEI: 123\r\n");
    info.get();
    EXPECT_STREQ(info.imei(), "123");

    MobileInfo shortOne;
    tools->answer("module", "IMEI: 123\n");
    shortOne.get();
    EXPECT_STREQ(shortOne.imei(), "123");
}

TEST_F(MobileInfoTest, CutsLongAnswersToTheirFields)
{
    enter();
    tools->answer("module", "IMEI: 35123456789012345678\n");
    tools->answer("mobile", "Cell: ABCDEFGHIJKLMNOPQRST\r\n");
    tools->answer("scid", "^SCID: 89490200001234567890\r\nOK\r\n");
    info.get();
    EXPECT_STREQ(info.imei(), "351234567890123");
    EXPECT_STREQ(info.cellid(), "ABCDEFGHIJKLMNO");
    EXPECT_STREQ(info.iccid(), "89490200001234567890");
}

TEST_F(MobileInfoTest, ACellThatGoesAwayIsEmptyAgain)
{
    enter();
    tools->modemReady("351234567890123", "4711", "89490200001234567890");
    info.get();
    ASSERT_STREQ(info.cellid(), "4711");

    tools->remove("mobile");
    info.get();
    EXPECT_STREQ(info.cellid(), "");
    EXPECT_STREQ(info.imei(), "351234567890123");
}

TEST_F(MobileInfoTest, RunsNothingUnlessTheScratchFolderIsItsOwn)
{
    enter();
    tools->modemReady("351234567890123", "4711", "89490200001234567890");
    ASSERT_EQ(::rename("/var/orvanta", "/var/elsewhere"), 0);
    ASSERT_EQ(::chmod("/var/elsewhere", 0700), 0);

    struct Case {
        const char* folder;
        std::function<int()> make;
    } cases[] = {
        {"absent",
         [] {
             return 0;
         }},
        {"a link to a folder",
         [] {
             return ::symlink("/var/elsewhere", "/var/orvanta");
         }},
        {"a file",
         [] {
             return ::close(::creat("/var/orvanta", 0600));
         }},
        {"writable by its group",
         [] {
             return ::mkdir("/var/orvanta", 0700) || ::chmod("/var/orvanta", 0770);
         }},
        {"writable by others",
         [] {
             return ::mkdir("/var/orvanta", 0700) || ::chmod("/var/orvanta", 01703);
         }},
        {"another user's",
         [] {
             return ::mkdir("/var/orvanta", 0700) || ::chown("/var/orvanta", 1, 1);
         }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.make(), 0) << c.folder;
        MobileInfo fresh;
        fresh.get();
        EXPECT_EQ(tools->calls(), "") << c.folder;
        EXPECT_STREQ(fresh.imei(), "") << c.folder;
        EXPECT_STREQ(fresh.cellid(), "") << c.folder;
        EXPECT_STREQ(fresh.iccid(), "") << c.folder;
        ::remove("/var/orvanta");
    }
}

TEST_F(MobileInfoTest, RemovesWhatLiesUnderTheScratchNamesFirst)
{
    enter();
    tools->modemReady("351234567890123", "4711", "89490200001234567890");
    ASSERT_TRUE(sandbox->writeFile("/var/victim", "keep me\n"));
    ASSERT_EQ(::symlink("/var/victim", "/var/orvanta/imei"), 0);
    ASSERT_TRUE(sandbox->writeFile("/var/orvanta/cell", "stale\n"));

    info.get();
    EXPECT_EQ(readFileBytes("/var/victim").value_or(""), "keep me\n");
    EXPECT_STREQ(info.imei(), "351234567890123");
    EXPECT_STREQ(info.cellid(), "4711");

    // A shell that cannot be started runs no command: the answers of the
    // last run are not taken for new ones.
    MobileInfo fresh;
    ASSERT_EQ(::unlink("/usr/bin/sh"), 0);
    ASSERT_EQ(::symlink("false", "/usr/bin/sh"), 0);
    ASSERT_EQ(readFileBytes("/bin/sh").value_or(""), readFileBytes("/usr/bin/false").value_or("?"));
    fresh.get();
    EXPECT_STREQ(fresh.imei(), "");
    EXPECT_STREQ(fresh.cellid(), "");
    EXPECT_STREQ(fresh.iccid(), "");
}
