#include "Buffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const uint64_t firstBlock = 256;
const uint64_t step = 64;
const uint64_t largest = UINT32_MAX;

// Smallest positive multiple of step that is at least n.
uint64_t steps(uint64_t n)
{
    return n == 0 ? step : (n + step - 1) / step * step;
}

} // namespace

Buffer::Buffer() : storage(nullptr), capacity(0), used(0) {}

Buffer::~Buffer()
{
    free(storage);
}

unsigned Buffer::length() const
{
    return used;
}

unsigned Buffer::storageSize() const
{
    return capacity;
}

bool Buffer::ensureFreeCapacity(unsigned n)
{
    return grow(n);
}

bool Buffer::grow(uint64_t need)
{
    uint64_t needed = used + need;
    if (needed > largest)
        return false;
    uint64_t size;
    if (!storage)
        size = needed <= firstBlock ? firstBlock : firstBlock + steps(needed - firstBlock);
    else if (capacity >= needed)
        return true;
    else
        size = capacity + steps(needed - capacity);
    if (size > largest)
        return false;

    char* grown = static_cast<char*>(realloc(storage, size));
    if (!grown)
        return false;
    storage = grown;
    capacity = static_cast<uint32_t>(size);
    storage[used] = '\0';
    return true;
}

const char* Buffer::value()
{
    if (!storage && !grow(1))
        return nullptr;
    return storage;
}

unsigned Buffer::write(const char* data, unsigned n)
{
    if (!grow(uint64_t(n) + 1))
        return 0;
    if (n)
        memcpy(storage + used, data, n);
    used += n;
    storage[used] = '\0';
    return n;
}

unsigned Buffer::vnwritef(unsigned n, const char* format, va_list args)
{
    uint64_t limit = uint64_t(n) + 1;
    if (!grow(limit))
        return 0;
    int full = vsnprintf(storage + used, static_cast<size_t>(limit), format, args);
    if (full < 0) {
        storage[used] = '\0';
        return 0;
    }
    unsigned count = static_cast<unsigned>(full) < n ? static_cast<unsigned>(full) : n;
    used += count;
    return count;
}

unsigned Buffer::nwritef(unsigned n, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    unsigned count = vnwritef(n, format, args);
    va_end(args);
    return count;
}

unsigned Buffer::vwritef(const char* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int full = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (full < 0)
        return 0;
    return vnwritef(static_cast<unsigned>(full), format, args);
}

unsigned Buffer::writef(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    unsigned count = vwritef(format, args);
    va_end(args);
    return count;
}
