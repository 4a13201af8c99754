#ifndef OTHER_HOST_COMPOSEDRECORD_H
#define OTHER_HOST_COMPOSEDRECORD_H

#include "Record.h"
#include "Reserved.h"

class ComposedRecord : public Record {
public:
    explicit ComposedRecord(bool flag);
    ~ComposedRecord() override;
    ComposedRecord(const ComposedRecord&) = delete;
    ComposedRecord& operator=(const ComposedRecord&) = delete;

    bool add(const Value& value);

    Record* copy() const override;
    unsigned size() const override;
    const Value& value(unsigned index) const override;

private:
    Reserved reserved;
    Value** values;
    unsigned count;
    unsigned capacity;
    bool flag;
};

#endif
