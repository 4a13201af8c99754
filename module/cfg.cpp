#include "cfg.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

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

/* Locale-independent: the keys are ASCII, whatever the router's locale. */
static int keys_equal(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (ascii_lower((unsigned char)*a) != ascii_lower((unsigned char)*b))
            return 0;
    return *a == *b;
}

static void cut_line(char *text)
{
    char *end = strchr(text, '\r');
    if (end)
        *end = '\0';
    end = strchr(text, '\n');
    if (end)
        *end = '\0';
    end = strrchr(text, '"');
    if (end)
        *end = '\0';
}

/* The value in line for key, or null when no line matches. */
static const char *find_value(FILE *f, const char *key)
{
    rewind(f);
    while (fgets(line, sizeof line, f)) {
        cut_line(line);
        char *eq = strchr(line, '=');
        if (!eq)
            continue;
        *eq = '\0';
        if (!keys_equal(line, key))
            continue;
        const char *value = eq + 1;
        return *value == '"' ? value + 1 : value;
    }
    return NULL;
}

char *cfg_get_str(FILE *f, const char *key)
{
    const char *value = f ? find_value(f, key) : NULL;
    return strdup(value ? value : "");
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
    int quoted = memchr(value, ' ', len) != NULL;
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
