/*
 * Reader and writer of key=value settings files (one entry per line).
 *
 * Every function that takes a stream accepts a null one: writers then write
 * nothing and give 0, readers give their result for a missing key.
 * Lookups share one static line buffer: they are not reentrant and must not
 * run on two threads at once. Usable from C.
 */
#ifndef ORVANTA_CFG_H
#define ORVANTA_CFG_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opens path with mode "r" (read) or "w" (write; empties an existing file).
 * The descriptor is close-on-exec. Gives null when the file cannot be opened. */
FILE *cfg_open(const char *path, const char *mode);

/* Closes the stream: 0 for a null stream, else fclose's result. */
int cfg_close(FILE *f);

/* The value of the first line whose key equals key, ASCII case ignored, as
 * new heap text that the caller releases with free(). A missing key or a
 * null stream gives new empty heap text; null only when memory runs out.
 * Lines are read with a limit of 16383 characters and cut at their first CR,
 * their first LF and their last double quote; one double quote right after
 * the equals sign is skipped. */
char *cfg_get_str(FILE *f, const char *key);

/* The value as an unsigned decimal number (strtoul rules with 32-bit
 * unsigned long: leading blanks, optional sign, stops at the first non-digit,
 * saturates at 4294967295). 0 for a missing key. */
uint32_t cfg_get_int(FILE *f, const char *key);

/* The value as a dotted IPv4 address "a.b.c.d", a in the most significant
 * byte, parts unchecked (an oversized part carries over). 0 when the value
 * does not begin with four dot-separated numbers. */
uint32_t cfg_get_ip(FILE *f, const char *key);

/* Writes "key=value\n". The value is first cut at its first CR or LF (a
 * line-based reader could never give more back); what remains is quoted when
 * it holds a blank and is cut to its first 16000 bytes. A null value is
 * written as empty. Gives fprintf's result (negative on a write error). */
int cfg_put_str(FILE *f, const char *key, const char *value);

/* Writes the value in decimal; 0 is written as an empty value unless
 * keep_zero is non-zero. */
int cfg_put_int(FILE *f, const char *key, uint32_t value, int keep_zero);

/* Writes 1 for a non-zero flag, 0 otherwise. */
int cfg_put_bool(FILE *f, const char *key, int flag);

/* Writes the address as four dotted decimal octets; 0 as an empty value. */
int cfg_put_ip(FILE *f, const char *key, uint32_t addr);

#ifdef __cplusplus
}
#endif

#endif
