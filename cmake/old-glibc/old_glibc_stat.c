/*
 * fstat and lstat for programs that must run on old router firmware.
 *
 * Since glibc 2.33 they are functions of libc.so.6 at GLIBC_2.33. Before,
 * libc.so.6 had no such symbols: the start files' libc_nonshared.a turned
 * each call into one of __fxstat or __lxstat with the version of struct
 * stat that the caller was built with, and libc.so.6 exports those since
 * GLIBC_2.4 (2.36 still does, as compatibility symbols). Linked into each
 * such program by orvanta_old_glibc, these definitions take the place of
 * the new functions, as libc_nonshared.a's did.
 */
#include <sys/stat.h>

#if !defined(__GLIBC__) || !defined(__arm__) || defined(__USE_FILE_OFFSET64)
#error "old_glibc_stat.c fills struct stat of 32-bit ARM glibc without large-file offsets"
#endif

/* _STAT_VER_LINUX: the layout of struct stat on 32-bit ARM. */
#define STAT_VERSION 3

int old_fxstat(int version, int fd, struct stat *st);
int old_lxstat(int version, const char *path, struct stat *st);
__asm__(".symver old_fxstat, __fxstat@GLIBC_2.4");
__asm__(".symver old_lxstat, __lxstat@GLIBC_2.4");

int fstat(int fd, struct stat *st)
{
    return old_fxstat(STAT_VERSION, fd, st);
}

int lstat(const char *path, struct stat *st)
{
    return old_lxstat(STAT_VERSION, path, st);
}
