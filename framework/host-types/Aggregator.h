#ifndef ORVANTA_FRAMEWORK_AGGREGATOR_H
#define ORVANTA_FRAMEWORK_AGGREGATOR_H

#include "Export.h"
#include "RequestData.h"

// An ordered list of records: the lines of a request, or the rows of a
// response. Keeps its own copy of every record added.
class ORVANTA_EXPORT Aggregator : public RequestData {
public:
    // capacity is the number of records reserved up front; the list grows
    // beyond it as needed. The two flags belong to the real agent's
    // interface and are kept, not interpreted, by this host.
    Aggregator(unsigned capacity, bool growable, bool managed);
    ~Aggregator() override;
    Aggregator(const Aggregator&) = delete;
    Aggregator& operator=(const Aggregator&) = delete;

    // Appends a copy of record; false when memory ran out.
    bool add(const Record& record);
    // index must be below length().
    const Record& get(unsigned index) const;
    unsigned length() const;
    void clear();

    unsigned lineCount() const override;
    const Record& line(unsigned index) const override;

    bool isGrowable() const { return growable; }
    bool isManaged() const { return managed; }

private:
    Record** records;
    unsigned count;
    unsigned capacity;
    bool growable;
    bool managed;
};

#endif
