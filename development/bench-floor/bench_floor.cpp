/*
 * bench-floor: does nothing but sleep. Built like the module's programs
 * (orvanta_libc_program), it is what scripts/bench measures as the least
 * memory any such program costs: the C library's and the loader's pages,
 * a stack, a page of data.
 */
#include <unistd.h>

int main(void)
{
    for (;;)
        pause();
}
