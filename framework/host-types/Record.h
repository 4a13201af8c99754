#ifndef ORVANTA_FRAMEWORK_RECORD_H
#define ORVANTA_FRAMEWORK_RECORD_H

#include "Export.h"
#include "RequestData.h"

class Value;

// One line of a request or one row of a response: an ordered list of values.
class ORVANTA_EXPORT Record : public RequestData {
public:
    ~Record() override;
    unsigned lineCount() const override;               // slot 2: always 1
    const Record& line(unsigned index) const override; // slot 3: the record itself
    // A deep copy, owned by the caller; null when memory ran out.
    virtual Record* copy() const = 0;  // slot 4 (host side)
    virtual unsigned size() const = 0; // slot 5
    // index must be below size().
    virtual const Value& value(unsigned index) const = 0; // slot 6
};

#endif
