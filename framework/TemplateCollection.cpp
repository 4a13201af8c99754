#include "TemplateCollection.h"

#include "Template.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const unsigned blockSize = 512;

} // namespace

TemplateCollection::TemplateCollection()
    : buffer(static_cast<char*>(malloc(blockSize))),
      writePosition(buffer),
      capacity(buffer ? blockSize : 0),
      first(nullptr),
      last(nullptr),
      identifier(),
      nextRequestId(1000),
      nextResponseId(2000)
{
}

TemplateCollection::~TemplateCollection()
{
    for (Template* known = first; known;) {
        Template* next = known->next;
        delete known;
        known = next;
    }
    free(buffer);
}

bool TemplateCollection::add(Template& t)
{
    if (t.messageId != 0)
        return false;
    for (const Template* known = first; known; known = known->next) {
        if (known->hash == t.hash) {
            t.messageId = known->messageId;
            return true;
        }
    }
    if ((t.kind != Template::REQUEST && t.kind != Template::RESPONSE) || !t.text)
        return false;

    uint16_t id = t.kind == Template::REQUEST ? nextRequestId++ : nextResponseId++;
    char digits[8];
    int d = snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(id));
    uint64_t need =
        static_cast<uint64_t>(writePosition - buffer) + static_cast<unsigned>(d) + strlen(t.text) + 7;
    if (!reserve(need))
        return false;
    if (!remember(t.kind, id, t.hash))
        return false;
    t.messageId = id;
    writeLine(t);
    snprintf(identifier, sizeof identifier, "com_orvanta_posix_agent_%llx",
             static_cast<unsigned long long>(templateHash()));
    return true;
}

// The list holds the collection's own note of each registration (kind, ID
// and hash, no text), never the caller's template: that one may go away
// while the collection lives on, as a deleted handler's does.
bool TemplateCollection::remember(unsigned char kind, uint16_t id, uint64_t hash)
{
    Template* note = new (std::nothrow) Template(kind, nullptr);
    if (!note)
        return false;
    note->messageId = id;
    note->hash = hash;
    if (last)
        last->next = note;
    else
        first = note;
    last = note;
    return true;
}

bool TemplateCollection::reserve(uint64_t need)
{
    if (need <= capacity)
        return true;
    uint64_t size = capacity + (need - capacity + blockSize - 1) / blockSize * blockSize;
    if (size > UINT32_MAX || size > SIZE_MAX)
        return false;
    size_t written = static_cast<size_t>(writePosition - buffer);
    char* grown = static_cast<char*>(realloc(buffer, static_cast<size_t>(size)));
    if (!grown)
        return false;
    buffer = grown;
    writePosition = grown + written;
    capacity = static_cast<unsigned>(size);
    return true;
}

// The room was reserved by add().
void TemplateCollection::writeLine(const Template& t)
{
    size_t length = strlen(t.text);
    int head = sprintf(writePosition, "1%c,%u,", t.kind == Template::REQUEST ? '0' : '1',
                       static_cast<unsigned>(t.messageId));
    writePosition += head;
    memcpy(writePosition, t.text, length);
    writePosition += length;
    memcpy(writePosition, "\r\n", 3);
    writePosition += 2;
}

const char* TemplateCollection::templateString() const
{
    // Nothing has been written, not even a terminator, before the first line.
    return writePosition == buffer ? "" : buffer;
}

const char* TemplateCollection::templateIdentifier() const
{
    return identifier;
}

uint64_t TemplateCollection::templateHash() const
{
    return Template::hashOf(templateString());
}

unsigned TemplateCollection::bufferSize() const
{
    return capacity;
}
