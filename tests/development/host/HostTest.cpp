// The minimal host's own behaviour that the framework tests lean on:
// records and aggregators keep their own copies, lines render as the
// development agent shows them, scripted answers come back as rows.
#include "Aggregator.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "Csv.h"
#include "IntegerValue.h"
#include "RecordingRequestClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using Field = ScriptedRequestClient::Field;

TEST(HostRecords, KeepTheirOwnCopies)
{
    Aggregator queue(2, true, true);
    {
        char text[] = "first";
        ComposedRecord record(false);
        ASSERT_TRUE(record.add(IntegerValue(1000)));
        CharValue value(text, false);
        std::strcpy(text, "XXXXX");
        ASSERT_TRUE(record.add(value));
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(queue.add(record));
    }
    ASSERT_EQ(queue.length(), 3u);
    EXPECT_EQ(csvLine(queue.get(2)), "1000,first");
    queue.clear();
    EXPECT_EQ(queue.length(), 0u);
}

TEST(HostCsv, QuotesOnlyTextsThatNeedIt)
{
    ComposedRecord record(false);
    record.add(IntegerValue(-7));
    record.add(CharValue("plain", false));
    record.add(CharValue("", false));
    record.add(CharValue("a,b", false));
    record.add(CharValue("say \"hi\"", false));
    record.add(CharValue("two\r\nlines", false));
    EXPECT_EQ(csvLine(record), "-7,plain,,\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\"");
    EXPECT_EQ(csvLines(record), std::vector<std::string>{csvLine(record)});
}

TEST(HostScriptedClient, AnswersInOrderThenFallsBackToTheResponder)
{
    orvanta::test::RecordingRequestClient client;
    client.pushFailure(7);
    client.pushRows({{Field::integer(40), Field::integer(1)}, {Field::string("x,y")}});
    client.setResponder([](const RequestData& data) {
        ScriptedRequestClient::Answer answer;
        answer.rows.push_back({Field::integer(static_cast<long>(data.lineCount()))});
        return answer;
    });

    ComposedRecord line(false);
    line.add(IntegerValue(1));
    Aggregator response(5, false, true);

    EXPECT_EQ(client.request(line, response, nullptr), 7);
    EXPECT_EQ(response.length(), 0u);

    ASSERT_EQ(client.request(line, response, nullptr), 0);
    ASSERT_EQ(response.length(), 2u);
    EXPECT_EQ(response.get(0).value(0).valueType(), VALUE_TYPE_INTEGER);
    EXPECT_EQ(response.get(0).value(1).integerValue(), 1);
    EXPECT_STREQ(response.get(1).value(0).characterValue(), "x,y");

    Aggregator batch(50, true, false);
    batch.add(line);
    batch.add(line);
    response.clear();
    ASSERT_EQ(client.request(batch, response, nullptr), 0);
    EXPECT_EQ(response.get(0).value(0).integerValue(), 2);

    ASSERT_EQ(client.requests().size(), 3u);
    EXPECT_EQ(client.requests()[2], (std::vector<std::string>{"1", "1"}));
}
