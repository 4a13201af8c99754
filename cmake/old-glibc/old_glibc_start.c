/*
 * Start-up of a program that must run on old router firmware: linked in
 * by orvanta_old_glibc with --wrap=__libc_start_main, so that the C
 * start-up files' call lands here.
 *
 * Debian 12's start files call __libc_start_main@GLIBC_2.34 with a null
 * init, because since 2.34 libc runs the program's constructors itself.
 * Glibc 2.33 and older have no such version, and their GLIBC_2.4 entry
 * point runs only the init it is given: bound alone, it would start the
 * program with its static constructors silently not run (destructors run
 * all the same, from the dynamic loader). So this passes an init that does
 * what the older start files' init did: _init, then the init array. Every
 * glibc calls a non-null init itself and nothing else, so the constructors
 * run once, on old firmware and new alike. The preinit array is the
 * dynamic loader's on both.
 */
#include <stddef.h>
#include <features.h>

#if !defined(__GLIBC__)
#error "old_glibc_start.c is the start-up of glibc programs"
#endif

typedef void (*init_function)(int argc, char **argv, char **envp);
typedef int (*main_function)(int argc, char **argv, char **envp);

/* From the start files (crti.o) and the linker's default script. */
extern void _init(void);
extern init_function __init_array_start[] __attribute__((visibility("hidden")));
extern init_function __init_array_end[] __attribute__((visibility("hidden")));

int __wrap___libc_start_main(main_function main, int argc, char **argv, init_function init,
                             void (*fini)(void), void (*rtld_fini)(void), void *stack_end);

/* The oldest version of the 32-bit ARM EABI, which every glibc has. */
int old_libc_start_main(main_function main, int argc, char **argv, init_function init,
                        void (*fini)(void), void (*rtld_fini)(void), void *stack_end);
__asm__(".symver old_libc_start_main, __libc_start_main@GLIBC_2.4");

static void run_constructors(int argc, char **argv, char **envp)
{
    _init();
    size_t count = (size_t)(__init_array_end - __init_array_start);
    for (size_t i = 0; i < count; i++)
        __init_array_start[i](argc, argv, envp);
}

int __wrap___libc_start_main(main_function main, int argc, char **argv, init_function init,
                             void (*fini)(void), void (*rtld_fini)(void), void *stack_end)
{
    /* Start files of before 2.34 pass their own init, which would run the
     * constructors as well; the toolchain's pass none. */
    if (init == NULL)
        init = run_constructors;
    return old_libc_start_main(main, argc, argv, init, fini, rtld_fini, stack_end);
}
