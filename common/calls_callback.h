/*
 * For functions that call a function pointer handed in by C code. Clang's
 * check of the callee's type at such a call needs the C++ part of the
 * sanitizer runtime, which the module's C-linked programs (the supervisor,
 * the settings tool, the log relay) lack; a callback from C carries no
 * type to check anyway.
 */
#ifndef ORVANTA_CALLS_CALLBACK_H
#define ORVANTA_CALLS_CALLBACK_H

#if defined(__clang__)
#define CALLS_CALLBACK __attribute__((no_sanitize("function")))
#else
#define CALLS_CALLBACK
#endif

#endif
