/*
 * orvanta-settings: the module settings for the start script, router pages
 * and administrators' scripts, read with the supervisor's own reader and
 * changed through the same safe save, so that nothing else parses the file.
 *
 * Only the module's four keys are known: the module reads no others, so a
 * misspelt key is refused instead of written where nothing reads it.
 */
#include "cfg.h"
#include "module_cfg.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

enum status {
    DONE = 0,
    NOT_SET = 1, /* get: the file has no line for the key */
    USAGE = 2,
    UNKNOWN_KEY = 3,
    BAD_VALUE = 4, /* set: a line break, no number, too long */
    NO_FILE = 5,   /* no settings file (set: and no defaults either) */
    FAILED = 6,    /* the file could not be read or replaced */
};

enum kind { FLAG, NUMBER, TEXT, SECRET };

struct key_info {
    const char *name;
    kind type;
    uint32_t max; /* the largest number a FLAG or NUMBER takes */
};

/* The agent takes the interval in seconds as a signed 32-bit number
 * (libconfig's int), which the supervisor makes of the minutes. */
static const uint32_t INTERVAL_MAX = 35791394;

static const key_info KEYS[] = {
    {MODULE_CFG_ENABLED, FLAG, 1},
    {MODULE_CFG_USERNAME, TEXT, 0},
    {MODULE_CFG_PASSWORD, SECRET, 0},
    {MODULE_CFG_INTERVAL, NUMBER, INTERVAL_MAX},
};

static const size_t TEXT_MAX = 16000; /* what cfg_put_str keeps */

/* "set KEY -": the value comes from the standard input, where no other
 * process can see it, as it could see the command line. */
static const char FROM_INPUT[] = "-";

/* The usage text, one of its lines a source line. */
/* clang-format off */
static const char USAGE_TEXT[] =
    "usage: orvanta-settings get KEY\n"
    "       orvanta-settings set KEY VALUE\n"
    "       orvanta-settings set KEY -\n"
    "       orvanta-settings show\n"
    "       orvanta-settings prepare\n"
    "Reads and changes the module settings, " MODULE_CFG_PATH ",\n"
    "as the module reads them. KEY, in any case, is one of\n"
    "  " MODULE_CFG_ENABLED "   0 (off) or 1 (on)\n"
    "  " MODULE_CFG_USERNAME "  the platform user name\n"
    "  " MODULE_CFG_PASSWORD "  the platform password\n"
    "  " MODULE_CFG_INTERVAL "  the reporting interval in minutes, 0 to 35791394\n"
    "get      prints the value as the module reads it\n"
    "set      changes the key's line, or adds one, keeping the other lines; a\n"
    "         missing settings file is made from " MODULE_CFG_DEFAULTS_PATH ".\n"
    "         With - the value is one line of the standard input: give secrets\n"
    "         so, since other processes can see the command line\n"
    "show     prints the four settings, the password masked\n"
    "prepare  makes the settings file from the defaults where it is missing and\n"
    "         removes the copies of it that interrupted saves left\n"
    "Exit status: 0 done, 1 KEY not in the file (get), 2 usage, 3 unknown key,\n"
    "4 value refused, 5 no settings file, 6 the file cannot be read or saved.\n";
/* clang-format on */

/* Says why on the standard error, "orvanta-settings: ..."; gives status. */
__attribute__((format(printf, 2, 3))) static int fail(int status, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("orvanta-settings: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    return status;
}

/* Case ignored as the reader ignores it: the program keeps the C locale,
 * where strcasecmp compares ASCII letters alone. */
static const key_info *find_key(const char *name)
{
    for (const key_info &key : KEYS)
        if (strcasecmp(key.name, name) == 0)
            return &key;
    return NULL;
}

static int unknown_key(const char *name)
{
    return fail(UNKNOWN_KEY, "unknown key %s (known: %s, %s, %s, %s)", name, MODULE_CFG_ENABLED,
                MODULE_CFG_USERNAME, MODULE_CFG_PASSWORD, MODULE_CFG_INTERVAL);
}

static int read_failed(const char *path, int err)
{
    return fail(FAILED, "cannot read %s: %s", path, strerror(err));
}

static int not_durable(const char *path)
{
    return fail(FAILED, "saved %s, but it may not survive a power cut: syncing its folder failed (%s)", path,
                strerror(errno));
}

/* Opens the settings file for reading; on failure gives the status and
 * says why. */
static int open_settings(FILE **f)
{
    *f = cfg_open(MODULE_CFG_PATH, "r");
    if (*f)
        return DONE;
    return errno == ENOENT ? fail(NO_FILE, "%s is missing", MODULE_CFG_PATH)
                           : read_failed(MODULE_CFG_PATH, errno);
}

static int is_number(const key_info *key)
{
    return key->type == FLAG || key->type == NUMBER;
}

/* Prints "value\n" as the supervisor reads it; a secret masked. */
static int print_value(FILE *f, const key_info *key, int masked)
{
    if (is_number(key)) {
        printf("%u\n", (unsigned)cfg_get_int(f, key->name));
        return DONE;
    }
    char *text = cfg_get_str(f, key->name);
    if (!text)
        return fail(FAILED, "out of memory");
    /* A fixed mask: it tells whether a password is set, not its length. */
    puts(masked && key->type == SECRET && *text ? "********" : text);
    free(text);
    return DONE;
}

static int get(const key_info *key)
{
    FILE *f;
    int status = open_settings(&f);
    if (status != DONE)
        return status;
    int present = cfg_has_key(f, key->name);
    if (ferror(f))
        status = read_failed(MODULE_CFG_PATH, errno);
    else if (present)
        status = print_value(f, key, 0);
    else
        status = fail(NOT_SET, "%s is not in %s; the module reads it as %s", key->name, MODULE_CFG_PATH,
                      is_number(key) ? "0" : "empty");
    cfg_close(f);
    return status;
}

static int show(void)
{
    FILE *f;
    int status = open_settings(&f);
    for (size_t i = 0; status == DONE && i < sizeof KEYS / sizeof KEYS[0]; ++i) {
        printf("%s=", KEYS[i].name);
        status = print_value(f, &KEYS[i], 1);
    }
    if (status == DONE && ferror(f))
        status = read_failed(MODULE_CFG_PATH, errno);
    cfg_close(f);
    return status;
}

/* A whole decimal number from 0 to max, digits alone. */
static int parse_number(const char *text, uint32_t max, uint32_t *number)
{
    uint64_t value = 0;
    if (!*text)
        return 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return 0;
        value = value * 10 + (uint64_t)(*text - '0');
        if (value > max)
            return 0;
    }
    *number = (uint32_t)value;
    return 1;
}

/* A set: the value, checked; then what reading the old file found. */
struct change {
    const key_info *key;
    const char *text;
    uint32_t number;
    const char *source; /* the file read, once the old file was looked for */
    int missing;        /* neither the settings nor the defaults are there */
    int read_error;     /* errno of a failed read of source, else 0 */
};

static int check_value(change *c)
{
    const char *name = c->key->name;
    /* A line break would end the line there and could start another key's. */
    if (strpbrk(c->text, "\r\n"))
        return fail(BAD_VALUE, "the value of %s holds a line break (CR or LF), which no setting can hold",
                    name);
    switch (c->key->type) {
    case FLAG:
        if (!parse_number(c->text, c->key->max, &c->number))
            return fail(BAD_VALUE, "%s takes 0 (off) or 1 (on), not \"%s\"", name, c->text);
        return DONE;
    case NUMBER:
        if (!parse_number(c->text, c->key->max, &c->number))
            return fail(BAD_VALUE, "%s takes a whole number from 0 to %u, not \"%s\"", name,
                        (unsigned)c->key->max, c->text);
        return DONE;
    case TEXT:
    case SECRET:
        if (strlen(c->text) > TEXT_MAX)
            return fail(BAD_VALUE, "the value of %s is longer than %u bytes", name, (unsigned)TEXT_MAX);
        return DONE;
    }
    return DONE;
}

/* The longest input that can be a value (the longest text and a CR LF),
 * one byte more to tell that there is more, and the NUL. */
static char input[TEXT_MAX + 2 + 1 + 1];

/* Reads the value of key from the standard input into input: one line,
 * whose line end (LF or CR LF) is no part of the value. What is beyond
 * the line end is left in the value, for check_value to refuse. */
static int read_input_value(const key_info *key, const char **text)
{
    size_t n = fread(input, 1, sizeof input - 1, stdin);
    if (ferror(stdin))
        return fail(FAILED, "cannot read the value of %s from the standard input: %s", key->name,
                    strerror(errno));
    if (n == 0)
        return fail(BAD_VALUE, "no value of %s on the standard input", key->name);
    if (memchr(input, '\0', n))
        return fail(BAD_VALUE, "the value of %s holds a NUL byte, which no setting can hold", key->name);
    if (input[n - 1] == '\n')
        n -= n > 1 && input[n - 2] == '\r' ? 2 : 1;
    input[n] = '\0';
    *text = input;
    return DONE;
}

static int put_value(FILE *out, void *context)
{
    const change *c = (const change *)context;
    if (is_number(c->key))
        return cfg_put_int(out, c->key->name, c->number, 1) >= 0;
    return cfg_put_str(out, c->key->name, c->text) >= 0;
}

/* Runs under the lock that cfg_replace holds: the file read here is the
 * one the rename replaces, whatever was saved before. A missing settings
 * file is made from the defaults, so the other keys keep their shipped
 * values. */
static int write_changed(FILE *out, void *context)
{
    change *c = (change *)context;
    c->source = MODULE_CFG_PATH;
    FILE *in = cfg_open(c->source, "r");
    if (!in && errno == ENOENT) {
        c->source = MODULE_CFG_DEFAULTS_PATH;
        in = cfg_open(c->source, "r");
    }
    if (!in) {
        c->missing = errno == ENOENT;
        c->read_error = errno;
        return 0;
    }
    int ok = cfg_copy_replacing(in, out, c->key->name, put_value, context);
    if (ferror(in))
        c->read_error = errno ? errno : EIO;
    cfg_close(in);
    return ok;
}

/* The settings file with the key's line changed, or added, saved whole
 * through cfg_replace (a new 0600 file, synced, renamed over the old), so
 * that any failure leaves the old file as it was. */
static int set(const key_info *key, const char *text)
{
    change c = {key, text, 0, NULL, 0, 0};
    /* Read before the lock is taken: nobody waits while a caller types. */
    int status = strcmp(text, FROM_INPUT) == 0 ? read_input_value(key, &c.text) : DONE;
    if (status == DONE)
        status = check_value(&c);
    if (status != DONE)
        return status;
    errno = 0;
    int replaced = cfg_replace(MODULE_CFG_PATH, write_changed, &c);
    if (replaced < 0)
        return not_durable(MODULE_CFG_PATH);
    if (replaced)
        return DONE;
    /* Without its folder the file could not be looked for. */
    if (c.missing || (!c.source && errno == ENOENT))
        return fail(NO_FILE, "%s is missing, and so is %s", MODULE_CFG_PATH, MODULE_CFG_DEFAULTS_PATH);
    if (c.read_error)
        return read_failed(c.source, c.read_error);
    return fail(FAILED, "cannot save %s (%s); it is unchanged", MODULE_CFG_PATH,
                errno ? strerror(errno) : "write error");
}

/* For the start script: the settings file where it is missing, and no copy
 * of the password that an interrupted save left. */
static int prepare(void)
{
    int made = cfg_create_from(MODULE_CFG_PATH, MODULE_CFG_DEFAULTS_PATH);
    if (made < 0)
        return not_durable(MODULE_CFG_PATH);
    if (made)
        return DONE;
    if (errno == ENOENT)
        return fail(NO_FILE, "%s is missing, and so is %s", MODULE_CFG_PATH, MODULE_CFG_DEFAULTS_PATH);
    return fail(FAILED, "cannot make %s from %s (%s)", MODULE_CFG_PATH, MODULE_CFG_DEFAULTS_PATH,
                strerror(errno));
}

static int usage(FILE *to, int status)
{
    fputs(USAGE_TEXT, to);
    return status;
}

static int run(int argc, char **argv)
{
    const char *command = argc > 1 ? argv[1] : "";
    if (argc == 2 && (!strcmp(command, "--help") || !strcmp(command, "-h") || !strcmp(command, "help")))
        return usage(stdout, DONE);
    if (argc == 2 && !strcmp(command, "show"))
        return show();
    if (argc == 2 && !strcmp(command, "prepare"))
        return prepare();
    int get_command = argc == 3 && !strcmp(command, "get");
    if (!get_command && !(argc == 4 && !strcmp(command, "set")))
        return usage(stderr, USAGE);
    const key_info *key = find_key(argv[2]);
    if (!key)
        return unknown_key(argv[2]);
    return get_command ? get(key) : set(key, argv[3]);
}

int main(int argc, char **argv)
{
    int status = run(argc, argv);
    if (fflush(stdout) != 0 || ferror(stdout))
        return fail(FAILED, "cannot write the output: %s", strerror(errno));
    return status;
}
