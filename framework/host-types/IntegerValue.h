#ifndef ORVANTA_FRAMEWORK_INTEGERVALUE_H
#define ORVANTA_FRAMEWORK_INTEGERVALUE_H

#include "Export.h"
#include "Value.h"

// A whole number (value type 1). Owns nothing: destroying one does no work.
class ORVANTA_EXPORT IntegerValue : public Value {
public:
    explicit IntegerValue(long value);

    int valueType() const override;
    long integerValue() const override;
    double floatValue() const override;
    const char* characterValue() const override; // empty text
    int write(AbstractDataSink& sink) const override;
    unsigned length() const override; // number of decimal characters
    Value* copy() const override;

private:
    long number;
};

#endif
