#ifndef ORVANTA_FRAMEWORK_COMPOSEDRECORD_H
#define ORVANTA_FRAMEWORK_COMPOSEDRECORD_H

#include "Export.h"
#include "Record.h"

// A record built value by value. Keeps its own copy of every value added.
class ORVANTA_EXPORT ComposedRecord : public Record {
public:
    explicit ComposedRecord(bool flag);
    ~ComposedRecord() override;
    ComposedRecord(const ComposedRecord&) = delete;
    ComposedRecord& operator=(const ComposedRecord&) = delete;

    // Appends a copy of value; false when memory ran out.
    bool add(const Value& value);

    Record* copy() const override;
    unsigned size() const override;
    const Value& value(unsigned index) const override;

private:
    Value** values;
    unsigned count;
    unsigned capacity;
    bool flag;
};

#endif
