#include "CharValue.h"

#include "AbstractDataSink.h"

#include <cstdlib>
#include <cstring>
#include <new>

CharValue::CharValue(const char* value, bool keepFlag) : text(strdup(value ? value : "")), flag(keepFlag) {}

CharValue::~CharValue()
{
    std::free(text);
}

int CharValue::valueType() const
{
    return VALUE_TYPE_CHARACTER;
}
long CharValue::integerValue() const
{
    return 0;
}
double CharValue::floatValue() const
{
    return 0.0;
}
const char* CharValue::characterValue() const
{
    return text ? text : "";
}
int CharValue::write(AbstractDataSink& sink) const
{
    return sink.writeString(characterValue());
}
unsigned CharValue::length() const
{
    return static_cast<unsigned>(std::strlen(characterValue()));
}

Value* CharValue::copy() const
{
    CharValue* twin = new (std::nothrow) CharValue(characterValue(), flag);
    if (twin && !twin->text) {
        delete twin;
        return nullptr;
    }
    return twin;
}
