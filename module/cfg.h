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

/* Opens path with mode "r" (read) or "w" (write; empties an existing file in
 * place, so a reader may see it torn: save a file that must survive with
 * cfg_replace). The descriptor is close-on-exec. Gives null when the file
 * cannot be opened. */
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

/* 1 when the stream has a line that cfg_get_str takes for key (whatever its
 * value, empty included), 0 when it has none or the stream is null. */
int cfg_has_key(FILE *f, const char *key);

/* The value as an unsigned decimal number (strtoul rules with 32-bit
 * unsigned long: leading blanks, optional sign, stops at the first non-digit,
 * saturates at 4294967295). 0 for a missing key. */
uint32_t cfg_get_int(FILE *f, const char *key);

/* The value as a dotted IPv4 address "a.b.c.d", a in the most significant
 * byte, parts unchecked (an oversized part carries over). 0 when the value
 * does not begin with four dot-separated numbers. */
uint32_t cfg_get_ip(FILE *f, const char *key);

/* Writes "key=value\n". The value is first cut at its first CR or LF (a
 * line-based reader could never give more back); what remains is cut to its
 * first 16000 bytes and put in double quotes when it holds a blank or a
 * double quote, so that cfg_get_str gives it back whole. A null value is
 * written as empty. Gives fprintf's result (negative on a write error). */
int cfg_put_str(FILE *f, const char *key, const char *value);

/* Writes the value in decimal; 0 is written as an empty value unless
 * keep_zero is non-zero. */
int cfg_put_int(FILE *f, const char *key, uint32_t value, int keep_zero);

/* Writes 1 for a non-zero flag, 0 otherwise. */
int cfg_put_bool(FILE *f, const char *key, int flag);

/* Writes the address as four dotted decimal octets; 0 as an empty value. */
int cfg_put_ip(FILE *f, const char *key, uint32_t addr);

/* Writes the new content of a file to f; gives non-zero when all of it was
 * written. Must not close f. */
typedef int (*cfg_writer)(FILE *f, void *context);

/* Copies in, from its start, to out byte for byte, except the lines that
 * cfg_get_str takes for key (whatever case they spell it in): the first of
 * them is replaced by what put(out, context) writes, the others are left
 * out, so that key has one line, where it had its first. Without such a
 * line put writes at the end. put must write whole lines. Lines are taken
 * as the lookups take them, so a line longer than 16382 characters counts
 * as several; where one of them is replaced or left out, the line before
 * it is ended, so that every other line still reads as before. A null in
 * counts as empty. Gives 1 when all of in was read and all written, 0
 * otherwise (and for a null out). */
int cfg_copy_replacing(FILE *in, FILE *out, const char *key, cfg_writer put, void *context);

/* Replaces the file at path with what writer(f, context) puts in a new
 * stream, by the module's rule for replacing files (file_replace.h): a
 * reader sees the old file or the whole new one, and a failure at any step
 * (no space, a write error, writer giving 0, a crash or power cut before
 * the end) leaves the old file byte for byte.
 * - A symbolic link at path is followed to its final target, which is
 *   replaced; the link stays.
 * - Every change of the file is serialised: the whole replacement, writer
 *   included, runs under the target's lock (file_replace_lock). A writer
 *   that changes the file reads the old one itself, so that a change saved
 *   meanwhile is the one it changes and none is lost. The writer must not
 *   wait for anything but the file system, nor replace a file itself.
 * - Under the lock, what interrupted replacements left beside the target
 *   (whole copies of the file, secrets included) is removed first.
 * - The new file is synced before the rename and the folder after it: the
 *   settings live on flash.
 * - Gives 1 when the file was replaced, 0 when it was not (errno says why),
 *   -1 when the new file is in place but its folder could not be synced, so
 *   that a power cut may still bring the old one back. */
int cfg_replace(const char *path, cfg_writer writer, void *context);

/* Makes the file at path, where there is none (neither a file nor a link),
 * a byte-for-byte copy of the file at source, by the rule and under the
 * lock of cfg_replace, removing what interrupted replacements left either
 * way. A file made so keeps what a concurrent cfg_replace saved: one that
 * comes first is found, one that comes after changes the new file.
 * Gives 1 when path is there now (made, or found), 0 when it could not be
 * made (errno says why; ENOENT: source is missing too), -1 when it was
 * made but its folder could not be synced. */
int cfg_create_from(const char *path, const char *source);

#ifdef __cplusplus
}
#endif

#endif
