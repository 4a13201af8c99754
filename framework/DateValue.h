#ifndef ORVANTA_FRAMEWORK_DATEVALUE_H
#define ORVANTA_FRAMEWORK_DATEVALUE_H

#include "Export.h"
#include "HostTypes.h"

// A point in time as a record value (value type 3), written as local time
// with its UTC offset, "%FT%T%z": 2023-11-14T23:13:20+0100. The text is
// formatted once, at construction, in the time zone then in force.
// Values may be built and copied on several threads at once.
class ORVANTA_EXPORT DateValue : public Value {
public:
    // time: seconds since the epoch; null takes the current time.
    explicit DateValue(const long* time);
    ~DateValue() override;

    int valueType() const override;              // 3
    long integerValue() const override;          // 0
    double floatValue() const override;          // 0.0
    const char* characterValue() const override; // the text
    // Hands the text to sink.writeString() and returns its result.
    int write(AbstractDataSink& sink) const override;
    unsigned length() const override; // 24 for the years 1000 to 9999
    // A new value of the same time, owned by the caller and formatted anew
    // (so in the time zone in force now); null when memory ran out.
    Value* copy() const override;

private:
    long seconds;
    // Empty when the time cannot be shown (it lies outside what the
    // platform's time type or the calendar conversion can hold).
    char text[32];
};

// DateValue's members follow the Value part, which must be a vtable pointer
// and nothing else (the host's values share Value's vtable, which lives in
// the framework), whoever declares Value.
static_assert(sizeof(Value) == sizeof(void*), "Value must hold nothing but its vtable pointer");

#endif
