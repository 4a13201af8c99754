/*
 * The page's form submissions: an application/x-www-form-urlencoded body
 * decoded into the fields the page knows.
 */
#ifndef ORVANTA_FORM_H
#define ORVANTA_FORM_H

#include <stddef.h>

/* The largest body taken: the page's forms stay far below it, and a router
 * has little memory to give a request. */
#define FORM_BODY_MAX 8192

enum form_result {
    FORM_OK = 0,
    FORM_TOO_LARGE, /* more than FORM_BODY_MAX bytes */
    FORM_MALFORMED, /* a % without two hex digits, a NUL byte, raw or as %00 */
    FORM_REPEATED,  /* a known field given twice: which one was meant? */
};

/* A field the caller asks for: value is set to its decoded text, or null
 * when the body does not have it. */
struct form_field {
    const char *name;
    const char *value;
};

/* Decodes body (length bytes, not NUL-terminated; it is overwritten with
 * the decoded texts, which the values point into, so it must hold
 * length + 1 bytes) into fields: "name=value" pairs separated by "&", "+"
 * for a blank, "%XX" for any byte. Names that no field asks for, and pairs
 * without a name, are skipped; a pair without "=" has an empty value.
 * Gives FORM_OK, or the first reason to refuse the whole body. */
form_result form_decode(char *body, size_t length, form_field *fields, size_t count);

#endif
