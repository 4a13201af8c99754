#include "Template.h"

Template::Template(unsigned char type, const char* templateText)
    : kind(type), messageId(0), text(templateText), hash(0), next(nullptr)
{
    generateHash();
}

unsigned char Template::type() const
{
    return kind;
}

uint16_t Template::msgId() const
{
    return messageId;
}

const char* Template::templateString() const
{
    return text;
}

uint64_t Template::templateHash() const
{
    return hash;
}

void Template::generateHash()
{
    hash = hashOf(text);
}

uint64_t Template::hashOf(const char* text)
{
    uint64_t h = 5381;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); p && *p; ++p)
        h = h * 33 + *p;
    return h;
}
