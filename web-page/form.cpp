#include "form.h"

#include <string.h>

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* Decodes in[0..length) to out (which may be in itself: the text only
 * shrinks) and ends it with a NUL. A NUL inside would cut the text short
 * wherever it is used later, so it is refused as well. */
static int decode(const char *in, size_t length, char *out)
{
    for (size_t i = 0; i < length; ++i) {
        char c = in[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (i + 2 >= length)
                return 0;
            int high = hex_digit(in[i + 1]);
            int low = hex_digit(in[i + 2]);
            if (high < 0 || low < 0)
                return 0;
            c = (char)(high * 16 + low);
            i += 2;
        }
        if (c == '\0')
            return 0;
        *out++ = c;
    }
    *out = '\0';
    return 1;
}

form_result form_decode(char *body, size_t length, form_field *fields, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        fields[i].value = NULL;
    if (length > FORM_BODY_MAX)
        return FORM_TOO_LARGE;
    size_t at = 0;
    while (at < length) {
        char *pair = body + at;
        char *end = (char *)memchr(pair, '&', length - at);
        size_t pair_length = end ? (size_t)(end - pair) : length - at;
        at += pair_length + 1;
        char *equals = (char *)memchr(pair, '=', pair_length);
        size_t name_length = equals ? (size_t)(equals - pair) : pair_length;
        char *value = equals ? equals + 1 : pair + pair_length;
        size_t value_length = equals ? pair_length - name_length - 1 : 0;
        /* Both decode in place: each text ends before the next begins. */
        if (!decode(pair, name_length, pair) || !decode(value, value_length, value))
            return FORM_MALFORMED;
        for (size_t i = 0; *pair && i < count; ++i) {
            if (strcmp(fields[i].name, pair) != 0)
                continue;
            if (fields[i].value)
                return FORM_REPEATED;
            fields[i].value = value;
        }
    }
    return FORM_OK;
}
