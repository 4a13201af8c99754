#ifndef ORVANTA_FRAMEWORK_TEMPLATECOLLECTION_H
#define ORVANTA_FRAMEWORK_TEMPLATECOLLECTION_H

#include "Export.h"

#include <cstdint>

class Template;

// Gives out message IDs (request templates from 1000, response templates
// from 2000) and keeps the registration text of every template added, one
// line each in the order of registration:
//   "10," or "11,", the ID in decimal, ",", the template text, CR LF.
// The identifier "com_orvanta_posix_agent_<hash in hex>" names the set, so
// that an unchanged set of templates always yields the same identifier.
//
// The collection keeps no pointer to the templates added: a template may
// be destroyed while the collection lives on, and a later template of the
// same text still gets the ID registered for it. Not safe for concurrent
// use; it logs nothing.
class ORVANTA_EXPORT TemplateCollection {
public:
    TemplateCollection();
    ~TemplateCollection();
    TemplateCollection(const TemplateCollection&) = delete;
    TemplateCollection& operator=(const TemplateCollection&) = delete;

    // Registers t. True when t has a message ID afterwards because of this
    // call: either a new one, or that of a registered template with the
    // same text hash (then nothing else changes). False when t was
    // registered before, is of a kind other than 1 or 2, or memory ran out
    // (the ID taken is then used up).
    bool add(Template& t);

    // The registration text; empty until the first line is written.
    const char* templateString() const;
    // The identifier; empty until the first line is written.
    const char* templateIdentifier() const;
    // djb2 of the registration text, computed on each call (5381 while
    // it is empty).
    uint64_t templateHash() const;

    // Bytes held for the registration text: 512 to start with, grown in
    // steps of 512.
    unsigned bufferSize() const;

private:
    // Notes a registration in the list; false when memory ran out.
    ORVANTA_INTERNAL bool remember(unsigned char kind, uint16_t id, uint64_t hash);
    ORVANTA_INTERNAL bool reserve(uint64_t need);
    ORVANTA_INTERNAL void writeLine(const Template& t);

    char* buffer;
    char* writePosition;
    unsigned capacity;
    Template* first;
    Template* last;
    char identifier[64];
    uint16_t nextRequestId;
    uint16_t nextResponseId;
};

#endif
