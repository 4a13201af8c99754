#ifndef ORVANTA_FRAMEWORK_TEMPLATE_H
#define ORVANTA_FRAMEWORK_TEMPLATE_H

#include "Export.h"

#include <cstdint>

class TemplateCollection;

// One Fastline template: a line of text with %% placeholders, its kind and
// the message ID under which it is registered in a TemplateCollection.
//
// The text is not copied: it must outlive the template (every text in this
// system is a string constant).
class ORVANTA_EXPORT Template {
public:
    enum Kind : unsigned char { REQUEST = 1, RESPONSE = 2 };

    // Only kinds 1 (request) and 2 (response) can be registered.
    Template(unsigned char type, const char* text);

    unsigned char type() const;
    // 0 until registered.
    uint16_t msgId() const;
    const char* templateString() const;
    // djb2 of the text, computed at construction.
    uint64_t templateHash() const;

    // Recomputes the hash from the text.
    void generateHash();

    // djb2 in 64-bit arithmetic over the bytes taken as 0..255; the empty
    // text gives 5381.
    static uint64_t hashOf(const char* text);

private:
    friend class TemplateCollection;

    unsigned char kind;
    uint16_t messageId;
    const char* text;
    uint64_t hash;
    Template* next;
};

#endif
