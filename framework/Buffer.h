#ifndef ORVANTA_FRAMEWORK_BUFFER_H
#define ORVANTA_FRAMEWORK_BUFFER_H

#include "Export.h"

#include <cstdarg>
#include <cstdint>

// A growable text that is always NUL-terminated once it has storage.
// Text is only ever appended. Storage grows linearly: a first block of 256
// bytes, then steps of 64, always to the smallest such size that holds
// what was asked for.
//
// Running out of memory is the only failure, and so is any size that
// would not fit in 32 bits: the operation then returns 0 (false, null)
// and the buffer keeps its text, size and length. A result of 0 does not
// tell a failure from appending nothing.
class ORVANTA_EXPORT Buffer {
public:
    // Allocates nothing.
    Buffer();
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Characters held, without the terminating NUL (the text itself may
    // hold NUL bytes appended by write()).
    unsigned length() const;
    // Bytes of storage held; 0 before the first growth.
    unsigned storageSize() const;

    // Makes room for n more characters after the current text; true when
    // storageSize() >= length() + n on return.
    bool ensureFreeCapacity(unsigned n);

    // The text. On a buffer without storage this first makes its first
    // block and yields the empty text; null only when that fails. Valid
    // until the next operation that may grow the buffer.
    const char* value();

    // Appends exactly n bytes of data, whatever they are; returns n, or 0
    // on failure. Makes sure the text is terminated even when n is 0.
    unsigned write(const char* data, unsigned n);

    // Appends the formatted text cut to at most n characters; returns the
    // count appended, 0 on failure or on a formatting error.
    unsigned vnwritef(unsigned n, const char* format, va_list args) ORVANTA_PRINTF(3, 0);
    unsigned nwritef(unsigned n, const char* format, ...) ORVANTA_PRINTF(3, 4);

    // Appends the whole formatted text; the arguments are formatted twice
    // (once to measure). Returns the count appended, 0 on failure.
    unsigned vwritef(const char* format, va_list args) ORVANTA_PRINTF(2, 0);
    unsigned writef(const char* format, ...) ORVANTA_PRINTF(2, 3);

private:
    // Makes room for need more bytes after the text; need is wide so that
    // a sum that overflows 32 bits is seen and refused.
    ORVANTA_INTERNAL bool grow(uint64_t need);

    char* storage;
    uint32_t capacity;
    uint32_t used;
};

#endif
