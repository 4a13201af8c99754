#include "html.h"

#include <string.h>

void html_put_n(FILE *out, const char *text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)text[i];
        switch (c) {
        case '&':
            fputs("&amp;", out);
            break;
        case '<':
            fputs("&lt;", out);
            break;
        case '>':
            fputs("&gt;", out);
            break;
        case '"':
            fputs("&quot;", out);
            break;
        case '\'':
            fputs("&#39;", out);
            break;
        default:
            if ((c < 0x20 && c != '\t') || c == 0x7f)
                fprintf(out, "\\x%02x", c);
            else
                putc(c, out);
        }
    }
}

void html_put(FILE *out, const char *text)
{
    if (text)
        html_put_n(out, text, strlen(text));
}
