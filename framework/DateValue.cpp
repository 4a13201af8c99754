#include "DateValue.h"

#include <cstring>
#include <ctime>
#include <new>

DateValue::DateValue(const long* time) : seconds(time ? *time : static_cast<long>(::time(nullptr))), text()
{
    time_t when = static_cast<time_t>(seconds);
    struct tm local;
    // localtime() would consult the zone on each call; localtime_r() need
    // not, so ask for it explicitly.
    tzset();
    if (static_cast<long>(when) != seconds || !localtime_r(&when, &local) ||
        strftime(text, sizeof text, "%FT%T%z", &local) == 0)
        text[0] = '\0';
}

DateValue::~DateValue() = default;

int DateValue::valueType() const
{
    return VALUE_TYPE_DATE;
}

long DateValue::integerValue() const
{
    return 0;
}

double DateValue::floatValue() const
{
    return 0.0;
}

const char* DateValue::characterValue() const
{
    return text;
}

int DateValue::write(AbstractDataSink& sink) const
{
    return sink.writeString(text);
}

unsigned DateValue::length() const
{
    return static_cast<unsigned>(strlen(text));
}

Value* DateValue::copy() const
{
    return new (std::nothrow) DateValue(&seconds);
}
