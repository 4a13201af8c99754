/*
 * Text put into the page. Everything that is not the page's own markup
 * (settings, the supervisor's status, log lines, the server's variables)
 * goes through these, so that it shows as text and never as markup.
 */
#ifndef ORVANTA_HTML_H
#define ORVANTA_HTML_H

#include <stddef.h>
#include <stdio.h>

/* Writes length bytes of text to out, fit for an element's content and a
 * quoted attribute value: & < > " ' as character references, control bytes
 * other than tab (a terminal's or a torn line's) as the visible text \xHH.
 * Other bytes, UTF-8 included, are kept. */
void html_put_n(FILE *out, const char *text, size_t length);

/* The same for a NUL-terminated text; a null text writes nothing. */
void html_put(FILE *out, const char *text);

#endif
