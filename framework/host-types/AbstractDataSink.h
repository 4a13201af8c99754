#ifndef ORVANTA_FRAMEWORK_ABSTRACTDATASINK_H
#define ORVANTA_FRAMEWORK_ABSTRACTDATASINK_H

#include "Export.h"

// Where a value writes itself when the host turns a record into a request
// line. Implemented by the host.
class ORVANTA_EXPORT AbstractDataSink {
public:
    virtual ~AbstractDataSink();              // slots 0, 1
    virtual int writeInteger(long value) = 0; // slot 2 (host side)
    virtual int writeFloat(double value) = 0; // slot 3 (host side)
    // Returns the number of characters taken, negative on failure.
    virtual int writeString(const char* text) = 0; // slot 4
};

#endif
