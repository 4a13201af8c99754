/*
 * The page's token: a random secret that every page carries in its forms
 * and every change must bring back, so that a form on another site, which
 * cannot read the page, cannot make changes in the router owner's name.
 * It lives in "/var/orvanta/page-token" (mode 0600, root's), made from
 * /dev/urandom when missing, and lasts until /var is emptied (a reboot).
 */
#ifndef ORVANTA_TOKEN_H
#define ORVANTA_TOKEN_H

#include <stddef.h>

#define TOKEN_STATE_DIR "/var/orvanta"
#define TOKEN_PATH TOKEN_STATE_DIR "/page-token"
/* 32 random bytes in hex. */
#define TOKEN_LENGTH 64

/* Puts count random bytes from /dev/urandom into out as 2 * count hex
 * digits and a NUL. Gives 1, or 0 when no random bytes could be read. */
int random_hex(char *out, size_t count);

/* Reads the token into token (TOKEN_LENGTH digits and a NUL). With create,
 * a missing or damaged token file is made anew (and "/var/orvanta" with
 * mode 0700 where it is missing). Gives 1, or 0 when there is no usable
 * token: the folder or the file is a link, another user's or open to
 * others, or it cannot be read or made. */
int token_get(char *token, int create);

/* 1 when given is the token expected, compared in a time that does not
 * depend on where they differ; given may be null. */
int token_matches(const char *expected, const char *given);

#endif
