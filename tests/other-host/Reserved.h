#ifndef OTHER_HOST_RESERVED_H
#define OTHER_HOST_RESERVED_H

#include <cstring>

// Room this host keeps in its records and values. Every constructor
// writes all of it, so that storage too small for the object shows.
struct Reserved {
    unsigned char bytes[200];
    Reserved() { std::memset(bytes, 0x5a, sizeof bytes); }
};

#endif
