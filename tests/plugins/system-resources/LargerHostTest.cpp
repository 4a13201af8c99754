// The library as built for the router, with the stand-in declarations, in a
// host whose records and values are 200 bytes larger than the stand-ins
// (the declarations of tests/other-host, their aggregator padded to the
// library's, as MeasurementSupport requires). The handler's run() and the
// measurement support's requests build such objects in their own storage;
// under AddressSanitizer a storage too small is reported there.
#include "LibraryHost.h"

using Field = ScriptedRequestClient::Field;
using Lines = std::vector<std::string>;

TEST(LargerHost, RunsTheHandlerAndSendsThroughTheLibrary)
{
    static_assert(sizeof(ComposedRecord) > 200 && sizeof(CharValue) > 200 && sizeof(IntegerValue) > 200,
                  "the larger declarations");
    ORVANTA_REQUIRE_SANDBOX();
    LibraryHost host("type = \"system_resources\";", ORVANTA_PLUGIN);
    ASSERT_TRUE(host.ready) << host.sandbox.lastError();
    orvanta::test::RecordingRequestClient& client = host.client;
    MeasurementSupport& measurements = host.measurements;
    ASSERT_TRUE(measurements.init());
    ASSERT_TRUE(host.handler->init());

    const ScriptedRequestClient::Row deviceCheck{Field::integer(2000), Field::integer(1), Field::integer(77)};
    client.pushRows({deviceCheck});
    EXPECT_TRUE(measurements.updateSupportedMeasurements());
    ASSERT_TRUE(measurements.addSupportedMeasurement("mobile"));
    client.pushRows({deviceCheck});
    EXPECT_TRUE(measurements.updateSupportedMeasurements());

    ASSERT_TRUE(host.handler->run());
    ASSERT_TRUE(host.handler->run());
    client.pushFailure();
    client.pushRows({{Field::integer(40), Field::integer(2)}});
    EXPECT_TRUE(measurements.sendAddedMeasurements());

    const std::string mobile = "1002,77,351234567890123,4711,89490200001234567890";
    EXPECT_EQ(
        client.requests(),
        (std::vector<Lines>{
            {"1001,77"}, {"1000,77,\"\"\"mobile\"\"\""}, {mobile, mobile}, {mobile, mobile}, {mobile}}));
}
