// A program that says which glibc runs it and how often its static
// constructor ran before main: once, or the start-up is broken. Its static
// destructor reports at exit.
#include <gnu/libc-version.h>
#include <stdio.h>

namespace {

int constructed;

struct Probe {
    Probe() { ++constructed; }
    ~Probe() { printf("destructor ran\n"); }
} probe;

} // namespace

int main()
{
    printf("glibc %s, constructor runs: %d\n", gnu_get_libc_version(), constructed);
    return 0;
}
