// Measurement support against the minimal host's scripted request client:
// the exact lines sent, the send / retry / re-send rules, the set and clear
// requests with their device check, and every log line with its level.
#include "Agent.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "IntegerValue.h"
#include "LogCapture.h"
#include "Logger.h"
#include "MeasurementSupport.h"
#include "RecordingRequestClient.h"
#include "TemplateCollection.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using orvanta::test::RecordingRequestClient;
using Field = ScriptedRequestClient::Field;
using Lines = std::vector<std::string>;

const long device = 4711;

const std::string failure = errLine("Fastline request failure.");
const std::string resend = dbgLine("Attempting to re-send failed measurements.");

class MeasurementSupportTest : public testing::Test {
protected:
    MeasurementSupportTest() : agent(client, templates, device), support(agent)
    {
        agent.setMeasurementSupport(&support);
    }

    void SetUp() override
    {
        Logger::instance()->setVerbosity(3);
        ASSERT_TRUE(support.init());
        ASSERT_TRUE(capture.ok());
        capture.clear();
    }

    // The lines logged since the last call.
    Lines log()
    {
        Lines lines = logLines(capture.text());
        capture.clear();
        return lines;
    }

    // Queues the record 1000,<device>,<name>.
    void queue(const char* name)
    {
        ComposedRecord record(false);
        record.add(IntegerValue(1000));
        record.add(IntegerValue(device));
        record.add(CharValue(name, false));
        ASSERT_TRUE(support.addMeasurement(record));
    }

    static std::string line(const char* name) { return "1000,4711," + std::string(name); }

    static ScriptedRequestClient::Row error(long code, long line)
    {
        return {Field::integer(code), Field::integer(line)};
    }

    std::vector<Lines> sent() const { return client.requests(); }

    RecordingRequestClient client;
    TemplateCollection templates;
    Agent agent;
    MeasurementSupport support;
    StderrCapture capture;
};

// ---- init ------------------------------------------------------------------

TEST_F(MeasurementSupportTest, InitRegistersTheThreeTemplatesOnce)
{
    EXPECT_STREQ(templates.templateString(),
                 "10,1000,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta."
                 "managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,"
                 "UNSIGNED STRING,\"{\"\"ovx_SupportedMeasurements\"\":[%%]}\"\r\n"
                 "10,1001,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta."
                 "managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,"
                 "UNSIGNED,\"{\"\"ovx_SupportedMeasurements\"\":[]}\"\r\n"
                 "11,2000,,\"$.ovx_IsDevice\",\"$.id\"\r\n");
    EXPECT_STREQ(templates.templateIdentifier(), "com_orvanta_posix_agent_155211f570087dc3");

    EXPECT_FALSE(support.init());
    EXPECT_EQ(std::string(templates.templateString()).size(), 429u);
    EXPECT_TRUE(log().empty());
}

TEST(MeasurementSupportInit, ASecondObjectSharesTheRegisteredIds)
{
    ScriptedRequestClient client;
    TemplateCollection templates;
    Agent agent(client, templates, device);
    MeasurementSupport first(agent);
    ASSERT_TRUE(first.init());
    // Same texts: the collection hands out the same IDs, so a second
    // support object still initialises.
    MeasurementSupport second(agent);
    EXPECT_TRUE(second.init());
    EXPECT_FALSE(second.init());
}

// ---- send ------------------------------------------------------------------

TEST_F(MeasurementSupportTest, EmptyQueueSendsNothing)
{
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(log().empty());
}

TEST_F(MeasurementSupportTest, CleanSendEmptiesTheQueue)
{
    queue("a");
    queue("b");
    // Rows that are not error rows are ignored.
    client.pushRows({error(39, 1),
                     error(60, 2),
                     error(0, 1),
                     {Field::integer(40)},
                     {Field::string("40"), Field::integer(1)}});
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{line("a"), line("b")}}));
    EXPECT_EQ(log(), Lines{dbgLine("Attempting to send 2 measurements.")});

    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent().size(), 1u);
}

TEST_F(MeasurementSupportTest, TransportFailingThreeTimesKeepsTheQueue)
{
    queue("a");
    queue("b");
    client.pushFailure();
    client.pushFailure(-1);
    client.pushFailure(503);
    EXPECT_FALSE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), std::vector<Lines>(3, Lines{line("a"), line("b")}));
    EXPECT_EQ(log(), (Lines{dbgLine("Attempting to send 2 measurements."), failure, failure, failure}));

    client.forgetRequests();
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{line("a"), line("b")}}));
}

TEST_F(MeasurementSupportTest, TransportFailuresBeforeSuccessAreRetried)
{
    queue("a");
    client.pushFailure();
    client.pushFailure();
    client.pushRows({});
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_EQ(log(), (Lines{dbgLine("Attempting to send 1 measurements."), failure, failure}));
}

TEST_F(MeasurementSupportTest, ErrorRowResendsExactlyTheNamedRecord)
{
    queue("a");
    queue("b");
    queue("c");
    client.pushRows({error(40, 2)});
    client.pushRows({});
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{line("a"), line("b"), line("c")}, {line("b")}}));
    EXPECT_EQ(log(), (Lines{dbgLine("Attempting to send 3 measurements."), resend}));

    client.forgetRequests();
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_TRUE(sent().empty());
}

TEST_F(MeasurementSupportTest, LineNumbersCountWithinEachPass)
{
    queue("a");
    queue("b");
    queue("c");
    queue("d");
    client.pushRows({error(59, 4), error(45, 2), error(40, 1)});  // pass 1: d, b, a
    client.pushRows({error(50, 2), error(50, 3)});                // pass 2: b, a
    client.pushRows({{Field::integer(2000), Field::integer(1)}}); // pass 3: clean
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{line("a"), line("b"), line("c"), line("d")},
                                          {line("d"), line("b"), line("a")},
                                          {line("b"), line("a")}}));
    EXPECT_EQ(log(), (Lines{dbgLine("Attempting to send 4 measurements."), resend, resend}));
}

TEST_F(MeasurementSupportTest, ALineNamedTwiceIsResentTwice)
{
    queue("a");
    queue("b");
    client.pushRows({error(41, 2), error(42, 2)});
    client.pushRows({});
    EXPECT_TRUE(support.sendAddedMeasurements());
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[1], (Lines{line("b"), line("b")}));
}

TEST_F(MeasurementSupportTest, UnmappableErrorRowsAreReportedAndIgnored)
{
    queue("a");
    queue("b");
    queue("c");
    client.pushRows({error(40, 0),
                     error(41, 4),
                     error(42, -1),
                     {Field::integer(43), Field::string("2")},
                     {Field::integer(44)}});
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent().size(), 1u);
    const std::string notFound = wrnLine("Measurement error not found in sent measurements.");
    EXPECT_EQ(log(), (Lines{dbgLine("Attempting to send 3 measurements."), notFound, notFound, notFound,
                            wrnLine("Measurement error cannot be associated with a specific record.")}));

    client.forgetRequests();
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_TRUE(sent().empty());
}

TEST_F(MeasurementSupportTest, ARecordFailingInEveryPassKeepsTheWholeQueue)
{
    queue("a");
    queue("b");
    client.setResponder([](const RequestData& data) {
        ScriptedRequestClient::Answer answer;
        answer.rows.push_back(error(40, static_cast<long>(data.lineCount())));
        return answer;
    });
    EXPECT_FALSE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{line("a"), line("b")}, {line("b")}, {line("b")}}));
    EXPECT_EQ(log(), (Lines{dbgLine("Attempting to send 2 measurements."), resend, resend, resend}));

    // The record the platform took in the first pass goes out again too.
    client.forgetRequests();
    client.setResponder(nullptr);
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{line("a"), line("b")}}));
    client.forgetRequests();
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_TRUE(sent().empty());
}

TEST_F(MeasurementSupportTest, TransportFailureInAResendPassKeepsTheQueue)
{
    queue("a");
    queue("b");
    client.pushRows({error(40, 1)});
    client.pushFailure();
    client.pushFailure();
    client.pushFailure();
    EXPECT_FALSE(support.sendAddedMeasurements());
    EXPECT_EQ(sent().size(), 4u);
    EXPECT_EQ(sent()[3], Lines{line("a")});
    EXPECT_EQ(log(),
              (Lines{dbgLine("Attempting to send 2 measurements."), resend, failure, failure, failure}));

    client.forgetRequests();
    EXPECT_TRUE(support.sendAddedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{line("a"), line("b")}}));
}

// The queue's bound and its drop block, as the README gives them.
const unsigned bound = 2000;
const unsigned block = 250;

TEST_F(MeasurementSupportTest, AFullQueueDropsItsOldestRecordsABlockAtATime)
{
    std::vector<std::string> names;
    for (unsigned i = 0; i <= bound + block; ++i)
        names.push_back(std::to_string(i));
    const std::string dropped =
        wrnLine("Measurement queue full: " + std::to_string(block) + " oldest measurements dropped.");

    for (unsigned i = 0; i < bound; ++i)
        queue(names[i].c_str());
    EXPECT_TRUE(log().empty());
    queue(names[bound].c_str());
    EXPECT_EQ(log(), Lines{dropped});
    // Refilled without a warning per record, then full again.
    for (unsigned i = bound + 1; i < bound + block; ++i)
        queue(names[i].c_str());
    EXPECT_TRUE(log().empty());
    queue(names[bound + block].c_str());
    EXPECT_EQ(log(), Lines{dropped});

    EXPECT_TRUE(support.sendAddedMeasurements());
    Lines expected;
    for (unsigned i = 2 * block; i <= bound + block; ++i)
        expected.push_back(line(names[i].c_str()));
    EXPECT_EQ(sent(), std::vector<Lines>{expected});
}

// Copies of a RationedValue fail once `succeed` more have been made, for
// `fail` copies, then succeed again: memory that runs out for a while.
struct Ration {
    long succeed = -1; // -1: no end
    long fail = 0;
} ration;

class RationedValue : public IntegerValue {
public:
    explicit RationedValue(long value) : IntegerValue(value) {}
    Value* copy() const override
    {
        if (ration.succeed == 0 && ration.fail > 0) {
            --ration.fail;
            return nullptr;
        }
        if (ration.succeed > 0)
            --ration.succeed;
        return new (std::nothrow) RationedValue(integerValue());
    }
};

TEST_F(MeasurementSupportTest, ATrimThatRunsOutOfMemoryNamesEveryRecordLost)
{
    std::vector<std::unique_ptr<ComposedRecord>> records;
    for (long i = 0; i <= 2000; ++i) {
        records.push_back(std::make_unique<ComposedRecord>(false));
        records.back()->add(IntegerValue(1000));
        records.back()->add(IntegerValue(device));
        records.back()->add(RationedValue(i));
    }
    for (long i = 0; i < 2000; ++i)
        ASSERT_TRUE(support.addMeasurement(*records[i]));
    // The 1750 kept records are copied aside, 1000 of them back, then 10
    // find no memory.
    ration = {1750 + 1000, 10};
    EXPECT_TRUE(support.addMeasurement(*records[2000]));
    ration = {};
    EXPECT_EQ(log(), Lines{wrnLine("Measurement queue full: 260 oldest measurements dropped.")});

    EXPECT_TRUE(support.sendAddedMeasurements());
    Lines expected;
    for (long i = 250; i <= 2000; ++i)
        if (i < 1250 || i >= 1260)
            expected.push_back("1000,4711," + std::to_string(i));
    EXPECT_EQ(sent(), std::vector<Lines>{expected});
}

// ---- supported measurements ----------------------------------------------

TEST_F(MeasurementSupportTest, AddingNamesLogsEach)
{
    EXPECT_TRUE(support.addSupportedMeasurement("a"));
    EXPECT_TRUE(support.addSupportedMeasurement("b c"));
    EXPECT_FALSE(support.addSupportedMeasurement(nullptr));
    EXPECT_EQ(log(), (Lines{dbgLine("Adding supported measurement: a"),
                            dbgLine("Adding supported measurement: b c")}));
}

TEST_F(MeasurementSupportTest, UpdateWithAnEmptyListClears)
{
    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(device)}});
    EXPECT_TRUE(support.updateSupportedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{"1001,4711"}}));
    EXPECT_TRUE(log().empty());
}

TEST_F(MeasurementSupportTest, UpdateWithNamesSetsTheList)
{
    support.addSupportedMeasurement("a");
    support.addSupportedMeasurement("b");
    support.addSupportedMeasurement("a");
    log();
    client.pushRows({{Field::integer(2000), Field::string("true"), Field::integer(device)},
                     {Field::integer(2000), Field::integer(0), Field::integer(1)}});
    EXPECT_TRUE(support.updateSupportedMeasurements());
    // The list text "a","b","a" in one CSV field, its quotes doubled.
    EXPECT_EQ(sent(), (std::vector<Lines>{{"1000,4711,\"\"\"a\"\",\"\"b\"\",\"\"a\"\"\""}}));
    EXPECT_TRUE(log().empty());
}

TEST_F(MeasurementSupportTest, TheDeviceIdIsReadAtEachUse)
{
    agent.setDeviceId(99);
    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(99)}});
    EXPECT_TRUE(support.clearSupportedMeasurements());
    support.addSupportedMeasurement("x");
    agent.setDeviceId(100);
    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(100)}});
    EXPECT_TRUE(support.setSupportedMeasurements());
    EXPECT_EQ(sent(), (std::vector<Lines>{{"1001,99"}, {"1000,100,\"\"\"x\"\"\""}}));
}

TEST_F(MeasurementSupportTest, SetRetriesTransportFailures)
{
    support.addSupportedMeasurement("a");
    log();
    client.pushFailure();
    client.pushFailure();
    client.pushFailure();
    EXPECT_FALSE(support.setSupportedMeasurements());
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_EQ(log(), (Lines{failure, failure, failure}));

    client.pushFailure();
    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(device)}});
    EXPECT_TRUE(support.setSupportedMeasurements());
    EXPECT_EQ(sent().size(), 5u);
    EXPECT_EQ(log(), Lines{failure});
}

TEST_F(MeasurementSupportTest, SetRejectsUnexpectedAnswers)
{
    support.addSupportedMeasurement("a");
    log();

    client.pushRows({});
    EXPECT_FALSE(support.setSupportedMeasurements());
    EXPECT_EQ(log(), Lines{errLine("No data received.")});

    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(device + 1)}});
    EXPECT_FALSE(support.setSupportedMeasurements());
    EXPECT_EQ(log(), Lines{errLine("Device not matching.")});

    // Silently refused: no values, too few to carry the id, another answer.
    client.pushRows({{}, {Field::integer(2000), Field::integer(1), Field::integer(device)}});
    client.pushRows({{Field::integer(2000), Field::integer(1)}});
    client.pushRows({{Field::integer(2000)}});
    client.pushRows({{Field::integer(2001), Field::integer(1), Field::integer(device)}});
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(support.setSupportedMeasurements()) << i;
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(sent().size(), 6u);
}

TEST_F(MeasurementSupportTest, ClearRetriesTransportFailuresSilently)
{
    client.pushFailure();
    client.pushFailure();
    client.pushFailure();
    EXPECT_FALSE(support.clearSupportedMeasurements());
    EXPECT_EQ(sent(), std::vector<Lines>(3, Lines{"1001,4711"}));

    client.pushFailure();
    client.pushFailure();
    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(device)}});
    EXPECT_TRUE(support.clearSupportedMeasurements());
    EXPECT_EQ(sent().size(), 6u);
    EXPECT_TRUE(log().empty());
}

TEST_F(MeasurementSupportTest, ClearRejectsUnexpectedAnswers)
{
    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(123456)}});
    EXPECT_FALSE(support.clearSupportedMeasurements());
    EXPECT_EQ(log(), Lines{errLine("Returned device ID 123456 not matching.")});

    client.pushRows({{Field::integer(2000), Field::integer(1), Field::integer(-5)}});
    EXPECT_FALSE(support.clearSupportedMeasurements());
    EXPECT_EQ(log(), Lines{errLine("Returned device ID -5 not matching.")});

    client.pushRows({});
    client.pushRows({{}});
    client.pushRows({{Field::integer(2000), Field::integer(1)}});
    client.pushRows({{Field::integer(1000), Field::integer(1), Field::integer(device)}});
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(support.clearSupportedMeasurements()) << i;
    EXPECT_TRUE(log().empty());
}

} // namespace
