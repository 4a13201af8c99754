#ifndef ORVANTA_FRAMEWORK_HOSTOBJECT_H
#define ORVANTA_FRAMEWORK_HOSTOBJECT_H

#include <cstddef>
#include <new>

// Storage for a host object (a record, a value, an aggregator) that the
// framework or a plug-in builds itself, as a local variable. The host
// defines these types, and its objects may be larger than the declarations
// this code is compiled with: the router's library is built with the
// project's stand-ins and loaded by an agent whose declarations are not
// known at build time. Building such an object directly on the stack would
// let a larger host constructor write past it.
//
// Every object therefore gets the same 512 bytes, aligned for any type,
// and the build refuses declarations that leave less than 256 of them
// spare. Why 512: the stand-ins take 8 to 32 bytes, so the router's
// library holds host objects of up to 512 bytes, 16 times the largest
// stand-in. Such classes keep their contents on the heap (records keep
// copies of their values, values copy their text); what a host adds to
// the object itself is bookkeeping, a standard container or two (24 to 32
// bytes each) or a small inline buffer, all well within that. The cost is
// stack alone, for the length of one call: at most six host objects are
// alive at once (a record and its five values), 3 KiB.
//
// The object is built in place by the host's constructor and destroyed by
// the host's destructor when the storage goes out of scope.
inline constexpr std::size_t hostObjectSize = 512;
inline constexpr std::size_t hostObjectSpare = 256;

template <typename T>
class HostObject {
    static_assert(sizeof(T) + hostObjectSpare <= hostObjectSize,
                  "The host declarations in use leave a host object less than 256 bytes of room "
                  "in the framework's storage (hostObjectSize in HostObject.h)");
    static_assert(alignof(T) <= alignof(std::max_align_t),
                  "A host type is aligned beyond what the framework's storage offers");

public:
    template <typename... Args>
    explicit HostObject(Args... args) : object(::new (static_cast<void*>(storage)) T(args...))
    {
    }
    ~HostObject() { object->T::~T(); }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    T& operator*() { return *object; }
    T* operator->() { return object; }

private:
    alignas(std::max_align_t) unsigned char storage[hostObjectSize];
    T* object;
};

#endif
