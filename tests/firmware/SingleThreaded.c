/*
 * libstdc++ 12, linked into the old-firmware host, reads glibc's
 * __libc_single_threaded (new in glibc 2.32) to skip atomic operations in
 * a process with one thread. Older glibc has no such variable. This one,
 * kept inside the program, always says "maybe several threads", so that
 * libstdc++ takes the atomic path, which is right in any process.
 */
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;
