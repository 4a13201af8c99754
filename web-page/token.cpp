#include "token.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int random_hex(char *out, size_t count)
{
    static const char DIGITS[] = "0123456789abcdef";
    unsigned char bytes[64];
    if (count > sizeof bytes)
        return 0;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t got = 0;
    ssize_t n;
    while (got < count && ((n = read(fd, bytes + got, count - got)) > 0 || (n < 0 && errno == EINTR)))
        if (n > 0)
            got += (size_t)n;
    close(fd);
    if (got < count)
        return 0;
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = DIGITS[bytes[i] >> 4];
        out[2 * i + 1] = DIGITS[bytes[i] & 15];
    }
    out[2 * count] = '\0';
    memset(bytes, 0, sizeof bytes);
    return 1;
}

/* Root writes the settings' password and this secret below the folder: it
 * must be root's (ours) and writable by no one else, as the start script
 * requires too. */
static int state_dir_safe(int create)
{
    if (create && mkdir(TOKEN_STATE_DIR, 0700) != 0 && errno != EEXIST)
        return 0;
    struct stat st;
    return lstat(TOKEN_STATE_DIR, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 022) == 0;
}

static int valid_token(const char *text)
{
    for (size_t i = 0; i < TOKEN_LENGTH; ++i)
        if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f')))
            return 0;
    return text[TOKEN_LENGTH] == '\n';
}

/* 1 with the token read, 0 when the file holds none, -1 when there is no
 * such file, -2 when it must not be used (another user's, open to others,
 * no regular file, a link). */
static int read_token(char *token)
{
    int fd = open(TOKEN_PATH, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? -1 : -2;
    struct stat st;
    char text[TOKEN_LENGTH + 2];
    ssize_t got = -1;
    int usable =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
    if (usable)
        got = read(fd, text, sizeof text);
    close(fd);
    if (!usable)
        return -2;
    if (got != TOKEN_LENGTH + 1 || !valid_token(text))
        return 0;
    memcpy(token, text, TOKEN_LENGTH);
    token[TOKEN_LENGTH] = '\0';
    memset(text, 0, sizeof text);
    return 1;
}

/* Writes a new token under a unique name, then links it into place where
 * there is none (two pages made at the same moment then agree on the
 * first), or renames it over a damaged one. */
static int make_token(char *token, int replace)
{
    char text[TOKEN_LENGTH + 2];
    if (!random_hex(text, TOKEN_LENGTH / 2))
        return 0;
    text[TOKEN_LENGTH] = '\n';
    char temporary[] = TOKEN_PATH ".XXXXXX";
    int fd = mkostemp(temporary, O_CLOEXEC);
    if (fd < 0)
        return 0;
    int ok = fchmod(fd, 0600) == 0 && write(fd, text, TOKEN_LENGTH + 1) == TOKEN_LENGTH + 1;
    ok &= close(fd) == 0;
    if (ok && replace)
        ok = rename(temporary, TOKEN_PATH) == 0;
    else if (ok)
        ok = link(temporary, TOKEN_PATH) == 0 || errno == EEXIST;
    unlink(temporary);
    memset(text, 0, sizeof text);
    return ok && read_token(token) == 1;
}

int token_get(char *token, int create)
{
    if (!state_dir_safe(create))
        return 0;
    int found = read_token(token);
    if (found == 1)
        return 1;
    if (!create || found == -2)
        return 0;
    return make_token(token, found == 0);
}

int token_matches(const char *expected, const char *given)
{
    if (!given || strlen(given) != TOKEN_LENGTH)
        return 0;
    unsigned char difference = 0;
    for (size_t i = 0; i < TOKEN_LENGTH; ++i)
        difference |= (unsigned char)(expected[i] ^ given[i]);
    return difference == 0;
}
