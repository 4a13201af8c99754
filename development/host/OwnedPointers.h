#ifndef ORVANTA_HOST_OWNEDPOINTERS_H
#define ORVANTA_HOST_OWNEDPOINTERS_H

#include <cstdlib>

// Grows a malloc'ed array of owned pointers so that one more fits after
// count; false, and the array unchanged, when memory ran out.
template <typename T>
bool reserveOneMore(T**& items, unsigned count, unsigned& capacity)
{
    if (count < capacity)
        return true;
    unsigned wanted = capacity ? capacity * 2 : 4;
    void* grown = std::realloc(items, wanted * sizeof(T*));
    if (!grown)
        return false;
    items = static_cast<T**>(grown);
    capacity = wanted;
    return true;
}

// Appends a copy of item (item.copy(), owned by the array); false, and the
// array unchanged, when memory ran out.
template <typename T>
bool appendCopy(T**& items, unsigned& count, unsigned& capacity, const T& item)
{
    if (!reserveOneMore(items, count, capacity))
        return false;
    T* own = item.copy();
    if (!own)
        return false;
    items[count++] = own;
    return true;
}

#endif
