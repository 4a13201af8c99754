/*
 * stat, fstat and lstat for programs that must run on old router firmware:
 * linked in by orvanta_old_glibc(<target> STAT).
 *
 * Glibc 2.33 made them functions of libc.so.6 (GLIBC_2.33). Before, they
 * were inline functions of <sys/stat.h> that called __xstat, __fxstat and
 * __lxstat with the version of struct stat the program was built with;
 * every glibc of the 32-bit ARM EABI exports those at GLIBC_2.4 and fills
 * that struct stat, which has kept its layout. The program's own
 * definitions here take its calls, so it asks libc for the old functions
 * alone. Built without _FILE_OFFSET_BITS=64, as the module's programs are
 * (stat64 and its kin would need the same for their 64 versions).
 */
#include <sys/stat.h>

#if !defined(__GLIBC__) || !defined(__arm__) || defined(__USE_FILE_OFFSET64) || defined(__USE_TIME_BITS64)
#error "old_glibc_stat.c is for 32-bit ARM glibc programs with the 32-bit struct stat"
#endif

/* _STAT_VER_LINUX of 32-bit ARM glibc: the struct stat of <sys/stat.h>. */
#define STAT_VERSION 3

int old_xstat(int version, const char *path, struct stat *buf);
int old_fxstat(int version, int fd, struct stat *buf);
int old_lxstat(int version, const char *path, struct stat *buf);
__asm__(".symver old_xstat, __xstat@GLIBC_2.4");
__asm__(".symver old_fxstat, __fxstat@GLIBC_2.4");
__asm__(".symver old_lxstat, __lxstat@GLIBC_2.4");

int stat(const char *path, struct stat *buf)
{
    return old_xstat(STAT_VERSION, path, buf);
}

int fstat(int fd, struct stat *buf)
{
    return old_fxstat(STAT_VERSION, fd, buf);
}

int lstat(const char *path, struct stat *buf)
{
    return old_lxstat(STAT_VERSION, path, buf);
}
