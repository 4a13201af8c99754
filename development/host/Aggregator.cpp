#include "Aggregator.h"

#include "OwnedPointers.h"
#include "Record.h"

#include <cstdlib>

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
    return appendCopy(records, count, capacity, record);
}

const Record& Aggregator::get(unsigned index) const
{
    return *records[index];
}
unsigned Aggregator::length() const
{
    return count;
}

void Aggregator::clear()
{
    for (unsigned i = 0; i < count; ++i)
        delete records[i];
    count = 0;
}

unsigned Aggregator::lineCount() const
{
    return count;
}
const Record& Aggregator::line(unsigned index) const
{
    return *records[index];
}
