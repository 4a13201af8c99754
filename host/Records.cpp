#include "Aggregator.h"
#include "ComposedRecord.h"
#include "Value.h"

#include <cstdlib>
#include <new>

namespace {

// Grows an array of owned pointers so that one more fits.
template <typename T>
bool reserveOneMore(T**& items, unsigned count, unsigned& capacity)
{
    if (count < capacity)
        return true;
    unsigned wanted = capacity ? capacity * 2 : 4;
    void* grown = std::realloc(items, wanted * sizeof(T*));
    if (!grown)
        return false;
    items = static_cast<T**>(grown);
    capacity = wanted;
    return true;
}

} // namespace

ComposedRecord::ComposedRecord(bool keepFlag)
    : values(nullptr), count(0), capacity(0), flag(keepFlag)
{
}

ComposedRecord::~ComposedRecord()
{
    for (unsigned i = 0; i < count; ++i)
        delete values[i];
    std::free(values);
}

bool ComposedRecord::add(const Value& value)
{
    if (!reserveOneMore(values, count, capacity))
        return false;
    Value* own = value.copy();
    if (!own)
        return false;
    values[count++] = own;
    return true;
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

unsigned ComposedRecord::size() const { return count; }
const Value& ComposedRecord::value(unsigned index) const { return *values[index]; }

Aggregator::Aggregator(unsigned reserved, bool growableFlag, bool managedFlag)
    : records(nullptr), count(0), capacity(0), growable(growableFlag), managed(managedFlag)
{
    if (reserved) {
        records = static_cast<Record**>(std::malloc(reserved * sizeof(Record*)));
        capacity = records ? reserved : 0;
    }
}

Aggregator::~Aggregator()
{
    clear();
    std::free(records);
}

bool Aggregator::add(const Record& record)
{
    if (!reserveOneMore(records, count, capacity))
        return false;
    Record* own = record.copy();
    if (!own)
        return false;
    records[count++] = own;
    return true;
}

const Record& Aggregator::get(unsigned index) const { return *records[index]; }
unsigned Aggregator::length() const { return count; }

void Aggregator::clear()
{
    for (unsigned i = 0; i < count; ++i)
        delete records[i];
    count = 0;
}

unsigned Aggregator::lineCount() const { return count; }
const Record& Aggregator::line(unsigned index) const { return *records[index]; }
