#include "cfg.h"

#include "calls_callback.h"
#include "file_replace.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const size_t LINE_SIZE = 16384;
static const size_t VALUE_MAX = 16000;

static char line[LINE_SIZE];

FILE *cfg_open(const char *path, const char *mode)
{
    char cloexec_mode[8];
    size_t n = strlen(mode);
    if (n + 2 > sizeof cloexec_mode)
        return NULL;
    memcpy(cloexec_mode, mode, n);
    cloexec_mode[n] = 'e';
    cloexec_mode[n + 1] = '\0';
    return fopen(path, cloexec_mode);
}

int cfg_close(FILE *f)
{
    return f ? fclose(f) : 0;
}

static int ascii_lower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

/* Reads the next line as every lookup takes it into line: up to and
 * including a line feed, at most LINE_SIZE - 1 bytes (the rest of a longer
 * line comes as the next one). False at the end of the stream or on a read
 * error. */
static int read_line(FILE *f)
{
    return fgets(line, sizeof line, f) != NULL;
}

/* How much of text the lookups keep: up to its first CR or LF, then up to
 * its last double quote. */
static size_t kept_length(const char *text)
{
    size_t len = strcspn(text, "\r\n");
    for (size_t i = len; i > 0; --i)
        if (text[i - 1] == '"')
            return i - 1;
    return len;
}

/* Whether the first kept bytes of text are an entry of key: the text
 * before its first equals sign equals key, ASCII case ignored (locale-
 * independent: the keys are ASCII, whatever the router's locale). */
static int is_entry_of(const char *text, size_t kept, const char *key)
{
    const char *eq = (const char *)memchr(text, '=', kept);
    if (!eq || strlen(key) != (size_t)(eq - text))
        return 0;
    for (; text < eq; ++text, ++key)
        if (ascii_lower((unsigned char)*text) != ascii_lower((unsigned char)*key))
            return 0;
    return 1;
}

/* The value in line for key, or null when no line matches. */
static const char *find_value(FILE *f, const char *key)
{
    rewind(f);
    while (read_line(f)) {
        size_t kept = kept_length(line);
        if (!is_entry_of(line, kept, key))
            continue;
        line[kept] = '\0';
        const char *value = line + strlen(key) + 1;
        return *value == '"' ? value + 1 : value;
    }
    return NULL;
}

char *cfg_get_str(FILE *f, const char *key)
{
    const char *value = f ? find_value(f, key) : NULL;
    return strdup(value ? value : "");
}

int cfg_has_key(FILE *f, const char *key)
{
    return f && find_value(f, key) != NULL;
}

/* strtoul as on the router, where unsigned long has 32 bits. */
static uint32_t parse_u32(const char *text)
{
    while (isspace((unsigned char)*text))
        ++text;
    int negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (!isdigit((unsigned char)*text))
        return 0;
    errno = 0;
    unsigned long long magnitude = strtoull(text, NULL, 10);
    if (errno == ERANGE || magnitude > UINT32_MAX)
        return UINT32_MAX;
    uint32_t value = (uint32_t)magnitude;
    return negative ? 0u - value : value;
}

uint32_t cfg_get_int(FILE *f, const char *key)
{
    char *text = cfg_get_str(f, key);
    if (!text)
        return 0;
    uint32_t value = parse_u32(text);
    free(text);
    return value;
}

uint32_t cfg_get_ip(FILE *f, const char *key)
{
    char *text = cfg_get_str(f, key);
    if (!text)
        return 0;
    unsigned a, b, c, d;
    uint32_t addr = 0;
    if (sscanf(text, "%u.%u.%u.%u", &a, &b, &c, &d) == 4)
        addr = ((uint32_t)a << 24) + ((uint32_t)b << 16) + ((uint32_t)c << 8) + (uint32_t)d;
    free(text);
    return addr;
}

int cfg_put_str(FILE *f, const char *key, const char *value)
{
    if (!f)
        return 0;
    if (!value)
        value = "";
    size_t len = strcspn(value, "\r\n");
    /* The reader drops the last double quote of a line and everything after
     * it: a closing quote makes that the one it drops. */
    int quoted = memchr(value, ' ', len) != NULL || memchr(value, '"', len) != NULL;
    int shown = (int)(len < VALUE_MAX ? len : VALUE_MAX);
    return fprintf(f, quoted ? "%s=\"%.*s\"\n" : "%s=%.*s\n", key, shown, value);
}

int cfg_put_int(FILE *f, const char *key, uint32_t value, int keep_zero)
{
    if (!f)
        return 0;
    if (value == 0 && !keep_zero)
        return fprintf(f, "%s=\n", key);
    return fprintf(f, "%s=%u\n", key, (unsigned)value);
}

int cfg_put_bool(FILE *f, const char *key, int flag)
{
    if (!f)
        return 0;
    return fprintf(f, "%s=%u\n", key, flag ? 1u : 0u);
}

int cfg_put_ip(FILE *f, const char *key, uint32_t addr)
{
    if (!f)
        return 0;
    if (addr == 0)
        return fprintf(f, "%s=\n", key);
    return fprintf(f, "%s=%u.%u.%u.%u\n", key, (unsigned)(addr >> 24), (unsigned)(addr >> 16 & 0xff),
                   (unsigned)(addr >> 8 & 0xff), (unsigned)(addr & 0xff));
}

/* Ends the line that out is in the middle of, so that what follows starts
 * a line of its own. */
static int end_line(FILE *out, int *at_line_start)
{
    int ok = *at_line_start || putc('\n', out) != EOF;
    *at_line_start = 1;
    return ok;
}

CALLS_CALLBACK int cfg_copy_replacing(FILE *in, FILE *out, const char *key, cfg_writer put, void *context)
{
    if (!out)
        return 0;
    int ok = 1, replaced = 0, at_line_start = 1;
    long at = 0;
    if (in)
        rewind(in);
    while (in && read_line(in)) {
        /* The line's length, NUL bytes included. */
        long next = ftell(in);
        if (next <= at || next - at >= (long)LINE_SIZE)
            return 0;
        size_t n = (size_t)(next - at);
        at = next;
        if (!is_entry_of(line, kept_length(line), key)) {
            ok &= fwrite(line, 1, n, out) == n;
            at_line_start = line[n - 1] == '\n';
            continue;
        }
        ok &= end_line(out, &at_line_start);
        if (!replaced)
            ok &= put(out, context) != 0;
        replaced = 1;
    }
    if (!replaced)
        ok &= end_line(out, &at_line_start) && put(out, context) != 0;
    return ok && !(in && ferror(in)) && !ferror(out);
}

/* Follows symbolic links from path to the final target, written to target;
 * a path that is no link (or does not exist yet) is its own target. Gives 0
 * when the chain is too long or too deep. */
static int final_target(const char *path, char *target, size_t size)
{
    size_t len = strlen(path);
    if (len >= size)
        return 0;
    memcpy(target, path, len + 1);
    for (int hops = 0; hops < 40; ++hops) {
        char link[PATH_MAX];
        ssize_t n = readlink(target, link, sizeof link - 1);
        if (n < 0)
            return errno == EINVAL || errno == ENOENT;
        link[n] = '\0';
        const char *slash = strrchr(target, '/');
        size_t folder = link[0] == '/' || !slash ? 0 : (size_t)(slash - target) + 1;
        if (folder + (size_t)n >= size)
            return 0;
        memcpy(target + folder, link, (size_t)n + 1);
    }
    return 0;
}

int cfg_replace(const char *path, cfg_writer writer, void *context)
{
    char target[PATH_MAX];
    if (!final_target(path, target, sizeof target))
        return FILE_REPLACE_FAILED;
    int lock = file_replace_lock(target);
    if (lock < 0)
        return FILE_REPLACE_FAILED;
    file_replace_remove_leftovers(target);
    int result = file_replace(target, writer, context, 1);
    file_replace_unlock(lock);
    return result;
}

static int copy_whole(FILE *out, void *context)
{
    FILE *in = (FILE *)context;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, in)) > 0)
        if (fwrite(block, 1, n, out) != n)
            return 0;
    return !ferror(in);
}

int cfg_create_from(const char *path, const char *source)
{
    char target[PATH_MAX];
    if (!final_target(path, target, sizeof target))
        return FILE_REPLACE_FAILED;
    int lock = file_replace_lock(target);
    if (lock < 0)
        return FILE_REPLACE_FAILED;
    file_replace_remove_leftovers(target);
    /* A link, even one that leads nowhere, is the administrator's choice of
     * where the file lives: left as it is. */
    struct stat st;
    int result = FILE_REPLACE_DONE;
    if (lstat(path, &st) != 0) {
        FILE *in = errno == ENOENT ? cfg_open(source, "r") : NULL;
        result = in ? file_replace(path, copy_whole, in, 1) : FILE_REPLACE_FAILED;
        int err = errno;
        cfg_close(in);
        errno = err;
    }
    file_replace_unlock(lock);
    return result;
}
