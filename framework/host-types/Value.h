#ifndef ORVANTA_FRAMEWORK_VALUE_H
#define ORVANTA_FRAMEWORK_VALUE_H

#include "Export.h"

class AbstractDataSink;

// Value type codes as the platform protocol knows them.
enum ValueType {
    VALUE_TYPE_INTEGER = 1,
    VALUE_TYPE_FLOAT = 2,
    VALUE_TYPE_DATE = 3,
    VALUE_TYPE_CHARACTER = 4,
};

// One field of a record. The vtable lives in the framework, so that the
// host's values and the framework's own (DateValue) share it.
class ORVANTA_EXPORT Value {
public:
    virtual ~Value();                               // slots 0, 1
    virtual int valueType() const = 0;              // slot 2
    virtual long integerValue() const = 0;          // slot 3
    virtual double floatValue() const = 0;          // slot 4
    virtual const char* characterValue() const = 0; // slot 5
    // Returns the sink's result.
    virtual int write(AbstractDataSink& sink) const = 0; // slot 6
    virtual unsigned length() const = 0;                 // slot 7
    // A new value owned by the caller; null when memory ran out.
    virtual Value* copy() const = 0; // slot 8
};

#endif
