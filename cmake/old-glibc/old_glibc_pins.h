/*
 * Binds references to glibc functions whose current version is newer than
 * the router firmware's glibc to their old version, which Debian 12's
 * glibc still exports as a compatibility symbol. Force-included (-include)
 * into every C and C++ source of a build for 32-bit ARM glibc; see
 * cmake/OrvantaOldGlibc.cmake.
 *
 * A directive only acts on a symbol that the source references: a source
 * that never calls dlopen gains no reference to it.
 *
 * This header includes no libc header on purpose: <features.h> read here,
 * before the source's own lines, would fix the feature-test macros before
 * a C source could define _GNU_SOURCE or _FILE_OFFSET_BITS itself. So it
 * tests only the compiler's own macros, which hold before any include (a
 * test of __GLIBC__ here would always be false and pin nothing, silently).
 * That the C library is glibc is settled where the header is applied, and
 * scripts/check-symbol-versions proves on the artifacts that the pins took.
 */
#ifndef ORVANTA_OLD_GLIBC_PINS_H
#define ORVANTA_OLD_GLIBC_PINS_H

#if !defined(__linux__) || !defined(__arm__) || !defined(__ARM_EABI__)
#error "old_glibc_pins.h names the versions of 32-bit ARM EABI glibc; it does not fit this target"
#endif

#define ORVANTA_PIN_(symbol, version) __asm__(".symver " #symbol ", " #symbol "@" #version)

/* In libc.so.6 since 2.34; before, in libdl.so.2 at GLIBC_2.4. A program
 * or library that calls them records libdl.so.2 as needed (DLOPEN in
 * orvanta_old_glibc), where old firmware finds them. */
ORVANTA_PIN_(dlopen, GLIBC_2.4);
ORVANTA_PIN_(dlsym, GLIBC_2.4);
ORVANTA_PIN_(dlerror, GLIBC_2.4);
ORVANTA_PIN_(dlclose, GLIBC_2.4);
ORVANTA_PIN_(dladdr, GLIBC_2.4);
ORVANTA_PIN_(dlvsym, GLIBC_2.4);

/* Versioned GLIBC_2.28 when 32-bit systems got fcntl64. The old version is
 * the plain system call: the same for every command but the open file
 * description locks (F_OFD_*) with a 32-bit struct flock, which this
 * project does not use. With _FILE_OFFSET_BITS=64 sources call fcntl64,
 * which has no old version; the symbol check then names it. */
ORVANTA_PIN_(fcntl, GLIBC_2.4);

/* Not pinned: clock_gettime and its kin stay at GLIBC_2.17. Their GLIBC_2.4
 * versions in libc.so.6 exist only since 2.17 (before, librt.so.1 had
 * them), so an older pin would claim an age the program cannot keep.
 * __libc_start_main is referenced by the C start-up files, which no header
 * reaches: old_glibc_start.c binds it. */

#undef ORVANTA_PIN_

#endif
