#ifndef ORVANTA_FRAMEWORK_CHARVALUE_H
#define ORVANTA_FRAMEWORK_CHARVALUE_H

#include "Export.h"
#include "Value.h"

// A text (value type 4). Keeps its own copy of the text; a null text is
// taken as the empty one.
class ORVANTA_EXPORT CharValue : public Value {
public:
    CharValue(const char* text, bool flag);
    ~CharValue() override;
    CharValue(const CharValue&) = delete;
    CharValue& operator=(const CharValue&) = delete;

    int valueType() const override;
    long integerValue() const override;          // 0
    double floatValue() const override;          // 0.0
    const char* characterValue() const override; // never null
    int write(AbstractDataSink& sink) const override;
    unsigned length() const override;
    Value* copy() const override;

private:
    char* text; // null only when the copy failed for lack of memory
    bool flag;
};

#endif
