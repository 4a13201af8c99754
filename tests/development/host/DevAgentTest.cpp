// The development agent's own parts: the configuration as the supervisor
// writes it, the wire it shows, the answers a test scripts and those the
// stand-in platform gives.
#include "Agent.h"
#include "AgentConfiguration.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "IntegerValue.h"
#include "LogCapture.h"
#include "MeasurementSupport.h"
#include "SupervisorFiles.h"
#include "TempDir.h"
#include "TemplateCollection.h"
#include "WireClient.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// A file of the given bytes in a folder of the build tree, removed when
// the tests end.
std::string fileWith(const std::string& bytes)
{
    static orvanta::test::TempDir dir;
    static int files = 0;
    std::string path = dir.file(std::to_string(++files));
    orvanta::test::writeFileBytes(path, bytes);
    return path;
}

// What the supervisor writes for user "router-17", password "se\"cret".
const std::string supervisorFile = orvanta::test::agentConfiguration("router-17", "se\\\"cret", 300);

std::string wireOf(const std::function<void(WireClient&)>& use)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    {
        WireClient client(out);
        use(client);
    }
    std::fclose(out);
    std::string wire(text, size);
    std::free(text);
    return wire;
}

ComposedRecord& line(ComposedRecord& record, long id, const char* text)
{
    record.add(IntegerValue(id));
    record.add(IntegerValue(7));
    record.add(CharValue(text, false));
    return record;
}

} // namespace

TEST(AgentConfiguration, ReadsWhatTheSupervisorWrites)
{
    const std::string file = fileWith(supervisorFile);
    AgentConfiguration configuration;
    ASSERT_TRUE(configuration.read(file.c_str()));
    EXPECT_STREQ(configuration.server(), "http://developer.orvanta.com/s");
    EXPECT_STREQ(configuration.username(), "router-17");
    EXPECT_STREQ(configuration.password(), "se\"cret");
    EXPECT_EQ(configuration.interval(), 300);
    ASSERT_EQ(configuration.libraryCount(), 2u);
    EXPECT_STREQ(configuration.library(0), "tessard-system-resources.so");
    EXPECT_STREQ(configuration.library(1), "tessard-measured-values.so");
    EXPECT_EQ(configuration.library(2), nullptr);
    ASSERT_EQ(configuration.groupCount(), 2u);
    const char* type = nullptr;
    int interval = 0;
    ASSERT_TRUE(config_setting_lookup_string(configuration.group(1), "type", &type));
    ASSERT_TRUE(config_setting_lookup_int(configuration.group(1), "interval", &interval));
    EXPECT_STREQ(type, "measured_values");
    EXPECT_EQ(interval, 10);
}

TEST(AgentConfiguration, MissingPiecesAndBrokenFiles)
{
    const std::string sparse = fileWith("load = ( 1, \"a.so\" );\nplugins = ( \"x\", { type = \"t\"; } );\n");
    AgentConfiguration configuration;
    ASSERT_TRUE(configuration.read(sparse.c_str()));
    EXPECT_EQ(configuration.server(), nullptr);
    EXPECT_EQ(configuration.password(), nullptr);
    EXPECT_EQ(configuration.interval(), 0);
    ASSERT_EQ(configuration.libraryCount(), 1u);
    EXPECT_STREQ(configuration.library(0), "a.so");
    EXPECT_EQ(configuration.groupCount(), 1u);

    const std::string broken = fileWith("server = \"x\"\nusername = ;\n");
    AgentConfiguration bad;
    EXPECT_EQ(stderrOf([&] {
                  EXPECT_FALSE(bad.read(broken.c_str()));
                  EXPECT_FALSE(bad.read("/nonexistent/tessard.cfg"));
              }),
              "Configuration " + broken +
                  ", line 2: syntax error\n"
                  "Cannot read configuration /nonexistent/tessard.cfg.\n");
}

TEST(WireClient, ShowsRegistrationRequestsAndRows)
{
    std::string wire = wireOf([](WireClient& client) {
        client.registerTemplates("com_orvanta_posix_agent_1f", "10,1000,A,%%\r\n11,2000,,\"$.x\"\r\n");
        client.pushRows(
            {{ScriptedRequestClient::Field::integer(40), ScriptedRequestClient::Field::integer(2)}});
        client.pushFailure(3);
        Aggregator batch(50, true, false), response(50, true, true);
        ComposedRecord first(false), second(false);
        batch.add(line(first, 1000, "a"));
        batch.add(line(second, 1000, "b,c"));
        EXPECT_EQ(client.request(batch, response, nullptr), 0);
        EXPECT_EQ(client.request(first, response, nullptr), 3);
        EXPECT_EQ(response.length(), 1u);
    });
    EXPECT_EQ(wire,
              "identifier: com_orvanta_posix_agent_1f\n"
              "template: 10,1000,A,%%\n"
              "template: 11,2000,,\"$.x\"\n"
              "request: 1000,7,a\n"
              "request: 1000,7,\"b,c\"\n"
              "status: 0\n"
              "response: 40,2\n"
              "request: 1000,7,a\n"
              "status: 3\n");
}

TEST(WireClient, ScriptedAnswersFromAFile)
{
    const std::string answers = fileWith("# comment\n\nfail\nfail 9\nok\n40,1;41,2,text\n");
    std::string wire = wireOf([&](WireClient& client) {
        ASSERT_TRUE(client.loadAnswers(answers.c_str()));
        EXPECT_EQ(client.scriptedLeft(), 4u);
        ComposedRecord record(false);
        record.add(IntegerValue(5));
        Aggregator response(50, true, true);
        for (int i = 0; i < 5; ++i)
            client.request(record, response, nullptr);
    });
    EXPECT_EQ(wire,
              "request: 5\nstatus: 1\n"
              "request: 5\nstatus: 9\n"
              "request: 5\nstatus: 0\n"
              "request: 5\nstatus: 0\nresponse: 40,1\nresponse: 41,2,text\n"
              "request: 5\nstatus: 0\n");

    const std::string bad = fileWith("ok\nfail x\n");
    wireOf([&](WireClient& client) {
        EXPECT_EQ(stderrOf([&] { EXPECT_FALSE(client.loadAnswers(bad.c_str())); }),
                  "Answers " + bad + ", line 2: not an answer.\n");
    });
}

TEST(WireClient, AnswersSetAndClearLikeThePlatform)
{
    wireOf([](WireClient& client) {
        TemplateCollection templates;
        Agent agent(client, templates, 4242);
        MeasurementSupport measurements(agent);
        agent.setMeasurementSupport(&measurements);
        ASSERT_TRUE(measurements.init());
        client.knowSupportedMeasurementTemplates(templates.templateString());

        EXPECT_TRUE(measurements.updateSupportedMeasurements());
        ASSERT_TRUE(measurements.addSupportedMeasurement("c8y_Signal"));
        EXPECT_TRUE(measurements.updateSupportedMeasurements());

        ComposedRecord set(false), other(false);
        set.add(IntegerValue(1000));
        set.add(IntegerValue(4242));
        set.add(CharValue("\"a\"", false));
        ScriptedRequestClient::Answer answer = client.platformAnswer(set);
        ASSERT_EQ(answer.rows.size(), 1u);
        EXPECT_EQ(answer.rows[0][0].number, 2000);
        EXPECT_EQ(answer.rows[0][2].number, 4242);
        other.add(IntegerValue(1002));
        other.add(IntegerValue(4242));
        for (const char* text : {"x", "y", "z"})
            other.add(CharValue(text, false));
        EXPECT_TRUE(client.platformAnswer(other).rows.empty());
    });
}
