#ifndef OTHER_HOST_INTEGERVALUE_H
#define OTHER_HOST_INTEGERVALUE_H

#include "Reserved.h"
#include "Value.h"

class IntegerValue : public Value {
public:
    explicit IntegerValue(long value);

    int valueType() const override;
    long integerValue() const override;
    double floatValue() const override;
    const char* characterValue() const override;
    int write(AbstractDataSink& sink) const override;
    unsigned length() const override;
    Value* copy() const override;

private:
    Reserved reserved;
    long number;
};

#endif
