#ifndef ORVANTA_FRAMEWORK_REQUESTDATA_H
#define ORVANTA_FRAMEWORK_REQUESTDATA_H

#include "Export.h"

class Record;

// What a request carries: one record (one line) or an aggregator of
// records (several lines). The host walks it line by line.
class ORVANTA_EXPORT RequestData {
public:
    virtual ~RequestData();                 // slots 0, 1
    virtual unsigned lineCount() const = 0; // slot 2 (host side)
    // index must be below lineCount().
    virtual const Record& line(unsigned index) const = 0; // slot 3 (host side)
};

#endif
