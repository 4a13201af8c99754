#include "AbstractDataSink.h"
#include "CharValue.h"
#include "IntegerValue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

IntegerValue::IntegerValue(long value) : number(value) {}

int IntegerValue::valueType() const { return VALUE_TYPE_INTEGER; }
long IntegerValue::integerValue() const { return number; }
double IntegerValue::floatValue() const { return static_cast<double>(number); }
const char* IntegerValue::characterValue() const { return ""; }
int IntegerValue::write(AbstractDataSink& sink) const { return sink.writeInteger(number); }

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

CharValue::CharValue(const char* value, bool keepFlag)
    : text(strdup(value ? value : "")), flag(keepFlag)
{
}

CharValue::~CharValue()
{
    std::free(text);
}

int CharValue::valueType() const { return VALUE_TYPE_CHARACTER; }
long CharValue::integerValue() const { return 0; }
double CharValue::floatValue() const { return 0.0; }
const char* CharValue::characterValue() const { return text ? text : ""; }
int CharValue::write(AbstractDataSink& sink) const { return sink.writeString(characterValue()); }
unsigned CharValue::length() const { return static_cast<unsigned>(std::strlen(characterValue())); }

Value* CharValue::copy() const
{
    CharValue* twin = new (std::nothrow) CharValue(characterValue(), flag);
    if (twin && !twin->text) {
        delete twin;
        return nullptr;
    }
    return twin;
}
