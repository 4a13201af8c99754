#ifndef OTHER_HOST_CHARVALUE_H
#define OTHER_HOST_CHARVALUE_H

#include "Reserved.h"
#include "Value.h"

class CharValue : public Value {
public:
    CharValue(const char* text, bool flag);
    ~CharValue() override;
    CharValue(const CharValue&) = delete;
    CharValue& operator=(const CharValue&) = delete;

    int valueType() const override;
    long integerValue() const override;
    double floatValue() const override;
    const char* characterValue() const override;
    int write(AbstractDataSink& sink) const override;
    unsigned length() const override;
    Value* copy() const override;

private:
    Reserved reserved;
    char* text;
    bool flag;
};

#endif
