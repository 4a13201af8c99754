#include "Aggregator.h"

#include "OwnedPointers.h"
#include "Record.h"

#include <cstdlib>
#include <new>

struct Aggregator::Rows {
    Record** records = nullptr;
    unsigned count = 0;
    unsigned capacity = 0;
};

// The flags mean nothing to this host; the reservation is only a hint.
Aggregator::Aggregator(unsigned, bool, bool) : rows(new (std::nothrow) Rows) {}

Aggregator::~Aggregator()
{
    clear();
    if (rows)
        std::free(rows->records);
    delete rows;
}

bool Aggregator::add(const Record& record)
{
    if (!rows || !reserveOneMore(rows->records, rows->count, rows->capacity))
        return false;
    Record* own = record.copy();
    if (!own)
        return false;
    rows->records[rows->count++] = own;
    return true;
}

const Record& Aggregator::get(unsigned index) const
{
    return *rows->records[index];
}
unsigned Aggregator::length() const
{
    return rows ? rows->count : 0;
}

void Aggregator::clear()
{
    for (unsigned i = 0; i < length(); ++i)
        delete rows->records[i];
    if (rows)
        rows->count = 0;
}

unsigned Aggregator::lineCount() const
{
    return length();
}
const Record& Aggregator::line(unsigned index) const
{
    return get(index);
}
