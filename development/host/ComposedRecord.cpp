#include "ComposedRecord.h"

#include "OwnedPointers.h"
#include "Value.h"

#include <cstdlib>
#include <new>

ComposedRecord::ComposedRecord(bool keepFlag) : values(nullptr), count(0), capacity(0), flag(keepFlag) {}

ComposedRecord::~ComposedRecord()
{
    for (unsigned i = 0; i < count; ++i)
        delete values[i];
    std::free(values);
}

bool ComposedRecord::add(const Value& value)
{
    return appendCopy(values, count, capacity, value);
}

Record* ComposedRecord::copy() const
{
    ComposedRecord* twin = new (std::nothrow) ComposedRecord(flag);
    if (!twin)
        return nullptr;
    for (unsigned i = 0; i < count; ++i) {
        if (!twin->add(*values[i])) {
            delete twin;
            return nullptr;
        }
    }
    return twin;
}

unsigned ComposedRecord::size() const
{
    return count;
}
const Value& ComposedRecord::value(unsigned index) const
{
    return *values[index];
}
