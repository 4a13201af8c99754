// Date values: the "%FT%T%z" text in fixed time zones, the Value operations
// and copies formatted anew.
#include "AbstractDataSink.h"
#include "DateValue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

class TextSink : public AbstractDataSink {
public:
    int writeInteger(long) override { return -1; }
    int writeFloat(double) override { return -1; }
    int writeString(const char* text) override
    {
        written += text;
        return 17;
    }
    std::string written;
};

std::string textOf(long time)
{
    return DateValue(&time).characterValue();
}

class DateValueTest : public testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        hadZone = tz != nullptr;
        if (hadZone)
            savedZone = tz;
    }

    void TearDown() override
    {
        if (hadZone)
            setenv("TZ", savedZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    static void zone(const char* tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }

    bool hadZone = false;
    std::string savedZone;
};

TEST_F(DateValueTest, FormatsLocalTimeWithTheOffset)
{
    zone("UTC0");
    EXPECT_EQ(textOf(0), "1970-01-01T00:00:00+0000");
    EXPECT_EQ(textOf(1700000000), "2023-11-14T22:13:20+0000");
    EXPECT_EQ(textOf(2147483647), "2038-01-19T03:14:07+0000");
    zone("CET-1");
    EXPECT_EQ(textOf(1700000000), "2023-11-14T23:13:20+0100");
    EXPECT_EQ(textOf(0), "1970-01-01T01:00:00+0100");
    zone("EST5");
    EXPECT_EQ(textOf(0), "1969-12-31T19:00:00-0500");
    zone("IST-5:30");
    EXPECT_EQ(textOf(1700000000), "2023-11-15T03:43:20+0530");
    zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(textOf(1690000000), "2023-07-22T06:26:40+0200");
}

TEST_F(DateValueTest, TextIs24CharactersLong)
{
    std::vector<long> times = {0, 1, 999999999, 1700000000, 2147483647, -2147483647 - 1};
    if (sizeof(long) > 4) {
        // A day inside the years 1000 and 9999 in every zone used here.
        times.push_back(static_cast<long>(-30610137600LL)); // 1000-01-02T00:00:00Z
        times.push_back(static_cast<long>(253402214399LL)); // 9999-12-30T23:59:59Z
    }
    for (const char* tz : {"UTC0", "CET-1", "EST5", "NPT-5:45", "LINT-14"}) {
        zone(tz);
        for (long time : times) {
            DateValue value(&time);
            EXPECT_EQ(value.length(), 24u) << tz << " " << time << " " << value.characterValue();
        }
    }
}

TEST_F(DateValueTest, IsAValueOfTypeDate)
{
    zone("UTC0");
    long time = 1700000000;
    DateValue value(&time);
    EXPECT_EQ(value.valueType(), 3);
    EXPECT_EQ(value.integerValue(), 0);
    EXPECT_EQ(value.floatValue(), 0.0);
    TextSink sink;
    EXPECT_EQ(value.write(sink), 17);
    EXPECT_EQ(sink.written, "2023-11-14T22:13:20+0000");
}

TEST_F(DateValueTest, NullTakesTheCurrentTime)
{
    zone("UTC0");
    long before = static_cast<long>(std::time(nullptr));
    DateValue now(nullptr);
    long after = static_cast<long>(std::time(nullptr));
    std::string text = now.characterValue();
    EXPECT_TRUE(text == textOf(before) || text == textOf(after)) << text;
    EXPECT_EQ(textOf(before), textOf(before));
}

TEST_F(DateValueTest, CopyIsFormattedAnew)
{
    zone("UTC0");
    long time = 1700000000;
    DateValue value(&time);
    std::unique_ptr<Value> same(value.copy());
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->valueType(), 3);
    EXPECT_STREQ(same->characterValue(), "2023-11-14T22:13:20+0000");

    // The zone in force now counts, as it would for localtime().
    setenv("TZ", "CET-1", 1);
    std::unique_ptr<Value> moved(value.copy());
    EXPECT_STREQ(moved->characterValue(), "2023-11-14T23:13:20+0100");
    EXPECT_STREQ(value.characterValue(), "2023-11-14T22:13:20+0000");
}

TEST_F(DateValueTest, ValuesCanBeBuiltOnSeveralThreads)
{
    zone("CET-1");
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            // Thread t uses midnight UTC plus t hours: 01, 02, 03, 04 local.
            long time = 1699920000 + t * 3600;
            std::string expected = "2023-11-14T0" + std::to_string(t + 1) + ":00:00+0100";
            for (int i = 0; i < 2000; ++i)
                if (DateValue(&time).characterValue() != expected)
                    ++wrong[t];
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

} // namespace
