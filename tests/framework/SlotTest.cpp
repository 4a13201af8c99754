// The virtual slots of the host types and of the plug-in interfaces are an
// ABI shared with the real host agent and with plug-ins built elsewhere.
// A pointer to a virtual member function gives its slot away:
//  - Itanium C++ ABI (x86-64): ptr = 1 + slot * sizeof(void*), adj = 0;
//  - ARM C++ ABI: ptr = slot * sizeof(void*), adj = 2 * 0 + 1 (bit 0 marks
//    a virtual function, the rest is the this-adjustment).
// Slots count from 0; the destructor pair takes 0 and 1.
#include "AbstractAgent.h"
#include "AbstractDataSink.h"
#include "Aggregator.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "IntegerValue.h"
#include "Plugin.h"
#include "PluginHandler.h"
#include "Record.h"
#include "RequestClient.h"
#include "RequestData.h"
#include "Value.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

struct MemberPointer {
    uintptr_t ptr;
    ptrdiff_t adj;
};

// The slot a pointer to a virtual member function names, or -1 when it
// does not have the form of one.
template <typename Member>
long slotOf(Member member)
{
    static_assert(sizeof(Member) == sizeof(MemberPointer), "two-word member pointers");
    MemberPointer raw;
    std::memcpy(&raw, &member, sizeof raw);
#if defined(__arm__)
    if (raw.adj != 1 || raw.ptr % sizeof(void*) != 0)
        return -1;
    return static_cast<long>(raw.ptr / sizeof(void*));
#else
    if (raw.adj != 0 || raw.ptr % sizeof(void*) != 1)
        return -1;
    return static_cast<long>((raw.ptr - 1) / sizeof(void*));
#endif
}

} // namespace

TEST(VirtualSlots, TheDecodingTellsVirtualFromPlainFunctions)
{
    struct Probe {
        virtual ~Probe() {}
        virtual int first() { return 1; }
        virtual int second() { return 2; }
        int plain() { return 3; }
    };
    EXPECT_EQ(slotOf(&Probe::first), 2);
    EXPECT_EQ(slotOf(&Probe::second), 3);
    EXPECT_EQ(slotOf(&Probe::plain), -1);
#if defined(__arm__)
    EXPECT_EQ(sizeof(void*), 4u);
#endif
}

TEST(VirtualSlots, AbstractAgent)
{
    EXPECT_EQ(slotOf(&AbstractAgent::requestClient), 2);
    EXPECT_EQ(slotOf(&AbstractAgent::templateCollection), 3);
    EXPECT_EQ(slotOf(&AbstractAgent::agentValue), 4);
    EXPECT_EQ(slotOf(&AbstractAgent::measurementSupport), 5);
    EXPECT_EQ(slotOf(&AbstractAgent::deviceId), 6);
}

TEST(VirtualSlots, RequestClient)
{
    EXPECT_EQ(slotOf(&RequestClient::configure), 2);
    EXPECT_EQ(slotOf(&RequestClient::registerTemplates), 3);
    EXPECT_EQ(slotOf(&RequestClient::request), 4);
}

TEST(VirtualSlots, RequestDataAndRecords)
{
    EXPECT_EQ(slotOf(&RequestData::lineCount), 2);
    EXPECT_EQ(slotOf(&RequestData::line), 3);
    EXPECT_EQ(slotOf(&Record::lineCount), 2);
    EXPECT_EQ(slotOf(&Record::line), 3);
    EXPECT_EQ(slotOf(&Record::copy), 4);
    EXPECT_EQ(slotOf(&Record::size), 5);
    EXPECT_EQ(slotOf(&Record::value), 6);
    EXPECT_EQ(slotOf(&ComposedRecord::copy), 4);
    EXPECT_EQ(slotOf(&ComposedRecord::size), 5);
    EXPECT_EQ(slotOf(&ComposedRecord::value), 6);
    EXPECT_EQ(slotOf(&Aggregator::lineCount), 2);
    EXPECT_EQ(slotOf(&Aggregator::line), 3);
}

TEST(VirtualSlots, Values)
{
    EXPECT_EQ(slotOf(&Value::valueType), 2);
    EXPECT_EQ(slotOf(&Value::integerValue), 3);
    EXPECT_EQ(slotOf(&Value::floatValue), 4);
    EXPECT_EQ(slotOf(&Value::characterValue), 5);
    EXPECT_EQ(slotOf(&Value::write), 6);
    EXPECT_EQ(slotOf(&Value::length), 7);
    EXPECT_EQ(slotOf(&Value::copy), 8);
    EXPECT_EQ(slotOf(&IntegerValue::valueType), 2);
    EXPECT_EQ(slotOf(&IntegerValue::copy), 8);
    EXPECT_EQ(slotOf(&CharValue::characterValue), 5);
    EXPECT_EQ(slotOf(&CharValue::write), 6);
}

TEST(VirtualSlots, AbstractDataSink)
{
    EXPECT_EQ(slotOf(&AbstractDataSink::writeInteger), 2);
    EXPECT_EQ(slotOf(&AbstractDataSink::writeFloat), 3);
    EXPECT_EQ(slotOf(&AbstractDataSink::writeString), 4);
}

TEST(VirtualSlots, PluginInterfaces)
{
    EXPECT_EQ(slotOf(&Plugin::type), 2);
    EXPECT_EQ(slotOf(&Plugin::createHandler), 3);
    EXPECT_EQ(slotOf(&PluginHandler::init), 2);
    EXPECT_EQ(slotOf(&PluginHandler::run), 3);
}
