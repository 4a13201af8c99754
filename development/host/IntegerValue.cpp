#include "IntegerValue.h"

#include "AbstractDataSink.h"

#include <cstdio>
#include <new>

IntegerValue::IntegerValue(long value) : number(value) {}

int IntegerValue::valueType() const
{
    return VALUE_TYPE_INTEGER;
}
long IntegerValue::integerValue() const
{
    return number;
}
double IntegerValue::floatValue() const
{
    return static_cast<double>(number);
}
const char* IntegerValue::characterValue() const
{
    return "";
}
int IntegerValue::write(AbstractDataSink& sink) const
{
    return sink.writeInteger(number);
}

unsigned IntegerValue::length() const
{
    char digits[24];
    int n = std::snprintf(digits, sizeof digits, "%ld", number);
    return n < 0 ? 0 : static_cast<unsigned>(n);
}

Value* IntegerValue::copy() const
{
    return new (std::nothrow) IntegerValue(number);
}
