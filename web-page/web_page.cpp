/*
 * orvanta (cgi-bin): the module's page in the router's web interface, a
 * CGI/1.1 program. GET shows the status, the settings form and the recent
 * log; POST, with the page's token and from the page's own host, saves the
 * settings or restarts the module, then redirects (303) back to GET, so
 * that a reload never does it twice.
 *
 * The settings are read with the supervisor's own reader; every change
 * goes through the settings tool (the value on its standard input, never
 * in its arguments), and the module is started and stopped by its start
 * script. Authentication is the web server's: the page must only be served
 * behind the router's login.
 *
 * Built as C-style C++ that needs nothing but libc at run time.
 */
#include "cfg.h"
#include "form.h"
#include "html.h"
#include "log_tail.h"
#include "module_cfg.h"
#include "spawn.h"
#include "status.h"
#include "token.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#define SETTINGS_TOOL "/opt/orvanta/bin/orvanta-settings"
#define INIT_SCRIPT "/opt/orvanta/etc/init"
#define DEFAULT_SCRIPT_NAME "/cgi-bin/orvanta"

/* The settings tool's limits: a text it keeps whole, and minutes whose
 * seconds fit the agent's signed 32-bit interval. */
static const size_t TEXT_MAX = 16000;
static const unsigned long INTERVAL_MAX = 35791394;

/* Where routers keep logread: busybox's applets, or the firmware's own. */
static const char *const LOGREAD_PROGRAMS[] = {"/sbin/logread", "/usr/sbin/logread", "/bin/logread",
                                               "/usr/bin/logread", NULL};

/* What a change did, told by the page it redirects to ("?m=code"). */
struct notice {
    const char *code;
    int bad;
    const char *text;
};

static const notice NOTICES[] = {
    {"saved-restarted", 0, "Saved. The module was restarted."},
    {"saved-stopped", 0, "Saved. The module is switched off and was stopped."},
    {"saved-not-started", 1, "Saved, but the module did not start: see the log below."},
    {"saved-not-stopped", 1, "Saved, but the module did not stop: see the log below."},
    {"restarted", 0, "The module was restarted."},
    {"restart-off", 0, "The module is switched off: it was stopped and not started."},
    {"restart-failed", 1, "The module did not restart: see the log below."},
};

enum field_name { F_TOKEN, F_ACTION, F_ENABLED, F_USERNAME, F_PASSWORD, F_INTERVAL, F_COUNT };

/* The settings as the module reads them; the password only as set or not. */
struct shown_settings {
    int readable;
    int from_defaults; /* no settings file yet: the shipped defaults */
    uint32_t enabled;
    char *username;
    int password_set;
    uint32_t interval;
};

/* What the page shows besides the settings. */
struct page {
    const char *script;
    char nonce[33];
    char token[TOKEN_LENGTH + 1];
    int has_token;
    const notice *told;  /* what the last change did */
    const char *problem; /* a failure to report above everything */
    shown_settings settings;
    /* A refused form: what was sent (never the password) and why. */
    int refused;
    int sent_enabled;
    const char *sent_username;
    const char *sent_interval;
    const char *field_error[F_COUNT];
};

static log_tail recent_log;

/* -- Settings ------------------------------------------------------------ */

static void wipe_and_free(char *text)
{
    if (text) {
        memset(text, 0, strlen(text));
        free(text);
    }
}

/* Fills *settings (zeroed, or filled before: its text is released first). */
static void load_settings(shown_settings *settings)
{
    free(settings->username);
    memset(settings, 0, sizeof *settings);
    FILE *f = cfg_open(MODULE_CFG_PATH, "r");
    if (!f && errno == ENOENT) {
        /* The settings tool makes the file from these at the first change. */
        f = cfg_open(MODULE_CFG_DEFAULTS_PATH, "r");
        settings->from_defaults = 1;
    }
    if (!f)
        return;
    settings->enabled = cfg_get_int(f, MODULE_CFG_ENABLED);
    settings->username = cfg_get_str(f, MODULE_CFG_USERNAME);
    char *password = cfg_get_str(f, MODULE_CFG_PASSWORD);
    settings->password_set = password && *password;
    wipe_and_free(password);
    settings->interval = cfg_get_int(f, MODULE_CFG_INTERVAL);
    settings->readable = !ferror(f) && settings->username;
    cfg_close(f);
}

/* -- The request --------------------------------------------------------- */

/* The page's own address, for its forms and redirects: the server's
 * SCRIPT_NAME where it is a plain path. */
static const char *script_name(void)
{
    const char *name = getenv("SCRIPT_NAME");
    if (!name || name[0] != '/' || strlen(name) > 200 ||
        strspn(name,
               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
               "0123456789/._~-") != strlen(name))
        return DEFAULT_SCRIPT_NAME;
    return name;
}

/* host[:port], compared without case and without the scheme's default port. */
static int same_host(const char *a, const char *b, const char *default_port)
{
    size_t a_length = strlen(a), b_length = strlen(b), port_length = strlen(default_port);
    if (a_length > port_length && strcmp(a + a_length - port_length, default_port) == 0)
        a_length -= port_length;
    if (b_length > port_length && strcmp(b + b_length - port_length, default_port) == 0)
        b_length -= port_length;
    return a_length == b_length && strncasecmp(a, b, a_length) == 0;
}

/* Browsers name the page that sent a form in Origin; a form from any other
 * site (or an opaque "null" one) is refused before its body is read. A
 * request without Origin (no browser) must still bring the token. */
static int same_origin(void)
{
    const char *origin = getenv("HTTP_ORIGIN");
    if (!origin)
        return 1;
    const char *host = getenv("HTTP_HOST");
    if (!host || !*host)
        return 0;
    if (strncmp(origin, "http://", 7) == 0)
        return same_host(origin + 7, host, ":80");
    if (strncmp(origin, "https://", 8) == 0)
        return same_host(origin + 8, host, ":443");
    return 0;
}

static int is_form_type(const char *type)
{
    static const char FORM_TYPE[] = "application/x-www-form-urlencoded";
    size_t n = sizeof FORM_TYPE - 1;
    return type && strncasecmp(type, FORM_TYPE, n) == 0 &&
           (type[n] == '\0' || type[n] == ';' || type[n] == ' ');
}

/* The request's body length: 0 without one, -1 when it is no number. */
static long content_length(void)
{
    const char *text = getenv("CONTENT_LENGTH");
    if (!text || !*text)
        return 0;
    if (strspn(text, "0123456789") != strlen(text) || strlen(text) > 9)
        return -1;
    return strtol(text, NULL, 10);
}

static int read_body(char *body, size_t length)
{
    size_t got = 0;
    while (got < length) {
        ssize_t n = read(0, body + got, length - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        got += (size_t)n;
    }
    return 1;
}

/* -- Output -------------------------------------------------------------- */

/* The page's one style sheet, allowed by its nonce alone. */
/* clang-format off */
static const char STYLE[] =
    "body{font-family:sans-serif;line-height:1.4;color:#222;max-width:40em;margin:0 auto;padding:0 1em 1em}"
    "h1{font-size:1.4em}"
    "h2{font-size:1.15em;margin-top:1.6em;border-bottom:1px solid #ccc}"
    "dl{display:grid;grid-template-columns:max-content 1fr;gap:.25em 1em}"
    "dt{font-weight:bold}dd{margin:0}"
    "label{display:block;font-weight:bold;margin-top:1em}"
    ".switch label{display:inline;margin:0 0 0 .3em}"
    ".switch input{transform:scale(1.3)}"
    "input[type=text],input[type=password]{width:100%;box-sizing:border-box;padding:.45em;font-size:1em;"
    "border:1px solid #888;border-radius:3px}"
    "[aria-invalid=true]{border-color:#b00020}"
    ".error{color:#b00020;margin:.2em 0}"
    ".note{color:#555;font-size:.9em;margin:.2em 0}"
    ".notice{padding:.6em .8em;border:1px solid #7a7;background:#eef7ee}"
    ".notice.bad{border-color:#c77;background:#fbeeee}"
    "button{font-size:1em;padding:.5em 1.4em;margin-top:1.2em}"
    "pre{white-space:pre-wrap;overflow-wrap:anywhere;font-size:.8em;background:#f4f4f4;padding:.6em}";
/* clang-format on */

static void put_head(FILE *out, const page *p, const char *title)
{
    fputs(
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>",
        out);
    html_put(out, title);
    fputs("</title>\n<style nonce=\"", out);
    html_put(out, p->nonce);
    fprintf(out, "\">%s</style>\n</head>\n<body>\n", STYLE);
}

static void put_duration(FILE *out, unsigned long seconds)
{
    if (seconds < 60)
        fprintf(out, "%lu s", seconds);
    else if (seconds < 3600)
        fprintf(out, "%lu min %lu s", seconds / 60, seconds % 60);
    else if (seconds < 86400)
        fprintf(out, "%lu h %lu min", seconds / 3600, seconds / 60 % 60);
    else
        fprintf(out, "%lu d %lu h", seconds / 86400, seconds / 3600 % 24);
}

static void put_token_field(FILE *out, const page *p)
{
    fputs("<input type=\"hidden\" name=\"token\" value=\"", out);
    html_put(out, p->has_token ? p->token : "");
    fputs("\">\n", out);
}

static void put_form_start(FILE *out, const page *p)
{
    fputs("<form method=\"post\" action=\"", out);
    html_put(out, p->script);
    fputs("\" accept-charset=\"utf-8\">\n", out);
    put_token_field(out, p);
}

static void put_agent(FILE *out, const supervisor_status *status, unsigned long now)
{
    unsigned long elapsed = now > status->since ? now - status->since : 0;
    switch (status->state) {
    case STATE_STARTING:
        fputs("Starting", out);
        break;
    case STATE_RUNNING:
        fputs("Running for ", out);
        put_duration(out, elapsed);
        fprintf(out, " (pid %ld)", status->agent);
        break;
    case STATE_PAUSING:
        fputs("Ended; pausing before a restart (for ", out);
        put_duration(out, elapsed);
        fputs(")", out);
        break;
    }
}

static void put_last_run(FILE *out, const supervisor_status *status)
{
    if (status->last == END_EXIT)
        fprintf(out, "Ended with exit status %lu", status->last_code);
    else if (status->last == END_SIGNAL)
        fprintf(out, "Ended by signal %lu", status->last_code);
    else
        fputs("None has ended yet", out);
}

static void put_status(FILE *out, const page *p)
{
    supervisor_status status;
    status_found found = status_read(&status);
    fputs("<h2>Status</h2>\n<dl>\n<dt>Module</dt><dd>", out);
    if (!p->settings.readable)
        fputs("Settings unreadable", out);
    else
        fputs(p->settings.enabled ? "Switched on" : "Switched off", out);
    fputs("</dd>\n<dt>Supervisor</dt><dd>", out);
    if (found == STATUS_STOPPED)
        fputs("Not running", out);
    else
        fprintf(out, "Running (pid %ld)", status.pid);
    fputs("</dd>\n", out);
    if (found == STATUS_RUNNING) {
        fputs("<dt>Agent</dt><dd>", out);
        put_agent(out, &status, status_uptime());
        fprintf(out, "</dd>\n<dt>Agent starts</dt><dd>%lu</dd>\n<dt>Last run</dt><dd>", status.starts);
        put_last_run(out, &status);
        fputs("</dd>\n", out);
    } else if (found == STATUS_RUNNING_BARE) {
        fputs("<dt>Agent</dt><dd>No status yet</dd>\n", out);
    }
    fputs("</dl>\n", out);
    put_form_start(out, p);
    fputs("<button type=\"submit\" name=\"action\" value=\"restart\">Restart</button>\n</form>\n", out);
}

/* A text field: label, input, and its refusal next to it. */
static void put_text_field(FILE *out, const page *p, field_name field, const char *id, const char *label,
                           const char *value, const char *extra)
{
    const char *error = p->field_error[field];
    fprintf(out, "<label for=\"%s\">%s</label>\n<input type=\"%s\" id=\"%s\" name=\"%s\" value=\"", id, label,
            field == F_PASSWORD ? "password" : "text", id, id);
    html_put(out, value);
    fprintf(out, "\" %s", extra);
    if (error)
        fprintf(out, " aria-invalid=\"true\" aria-describedby=\"%s-error\"", id);
    fputs(">\n", out);
    if (error) {
        fprintf(out, "<p class=\"error\" id=\"%s-error\">", id);
        html_put(out, error);
        fputs("</p>\n", out);
    }
}

static void put_settings(FILE *out, const page *p)
{
    const shown_settings *s = &p->settings;
    char interval[16];
    snprintf(interval, sizeof interval, "%u", (unsigned)s->interval);
    int enabled = p->refused ? p->sent_enabled : (int)s->enabled;
    fputs("<h2>Settings</h2>\n", out);
    if (!s->readable)
        fputs("<p class=\"error\">The settings file " MODULE_CFG_PATH " cannot be read.</p>\n", out);
    else if (s->from_defaults)
        fputs("<p class=\"note\">No settings saved yet: these are the defaults.</p>\n", out);
    put_form_start(out, p);
    fprintf(out,
            "<p class=\"switch\"><input type=\"checkbox\" id=\"enabled\" name=\"enabled\" value=\"1\"%s>"
            "<label for=\"enabled\">Module switched on</label></p>\n",
            enabled ? " checked" : "");
    put_text_field(out, p, F_USERNAME, "username", "User name", p->refused ? p->sent_username : s->username,
                   "autocomplete=\"off\" autocapitalize=\"none\" spellcheck=\"false\"");
    /* Never the password itself: the field is always empty. */
    put_text_field(out, p, F_PASSWORD, "password", "Password", "", "autocomplete=\"new-password\"");
    fputs("<p class=\"note\">", out);
    if (p->refused)
        fputs("Not saved: type it again, or leave it empty to keep the stored one.", out);
    else
        fputs(s->password_set ? "A password is set. Leave this empty to keep it." : "No password is set.",
              out);
    fputs("</p>\n", out);
    put_text_field(out, p, F_INTERVAL, "interval", "Interval (minutes)",
                   p->refused ? p->sent_interval : interval, "inputmode=\"numeric\"");
    fputs("<button type=\"submit\" name=\"action\" value=\"save\">Save</button>\n</form>\n", out);
}

static void put_log(FILE *out)
{
    const char *program = NULL;
    log_source source = log_tail_read(&recent_log, LOGREAD_PROGRAMS, &program);
    fputs("<h2>Recent log</h2>\n", out);
    if (source == LOG_READ && recent_log.kept > 0) {
        fputs("<pre>", out);
        for (size_t i = 0; i < recent_log.kept; ++i) {
            size_t length;
            const char *line = log_tail_line(&recent_log, i, &length);
            html_put_n(out, line, length);
            putc('\n', out);
        }
        fputs("</pre>\n<p class=\"note\">The module's last lines in the system log (", out);
        html_put(out, program);
        fputs(").</p>\n", out);
        return;
    }
    if (source == LOG_READ)
        fputs("<p>The system log holds no lines of the module yet.</p>\n", out);
    else if (source == LOG_NO_LOGREAD)
        fputs("<p>This router has no logread to show the system log.</p>\n", out);
    else
        fputs(
            "<p>logread could not show the system log (is the router's syslog set to keep one in "
            "memory?).</p>\n",
            out);
    fputs(
        "<p class=\"note\">The module logs to syslog, facility daemon, with the identities orvanta (the "
        "supervisor) and tessard (the agent): see where the router's syslog writes them.</p>\n",
        out);
}

static void put_page(FILE *out, const page *p)
{
    put_head(out, p, "Orvanta module");
    fputs("<h1>Orvanta module</h1>\n", out);
    if (p->problem) {
        fputs("<p class=\"notice bad\" role=\"alert\">", out);
        html_put(out, p->problem);
        fputs("</p>\n", out);
    } else if (p->told) {
        fprintf(out, "<p class=\"notice%s\" role=\"status\">", p->told->bad ? " bad" : "");
        html_put(out, p->told->text);
        fputs("</p>\n", out);
    }
    if (!p->has_token)
        fputs("<p class=\"notice bad\" role=\"alert\">This page cannot make changes: " TOKEN_STATE_DIR
              " is unusable (a link, not root's, or open to others) or full.</p>\n",
              out);
    put_status(out, p);
    put_settings(out, p);
    put_log(out);
    fputs("</body>\n</html>\n", out);
}

/* A refusal: a short page of its own. */
static void put_refusal(FILE *out, const page *p, const char *title, const char *text)
{
    put_head(out, p, title);
    fputs("<h1>", out);
    html_put(out, title);
    fputs("</h1>\n<p>", out);
    html_put(out, text);
    fputs(" Nothing was changed.</p>\n<p><a href=\"", out);
    html_put(out, p->script);
    fputs("\">Back to the module's page</a></p>\n</body>\n</html>\n", out);
}

/* The response: headers, then (not for HEAD) the body that was built. */
static int respond(const page *p, const char *status, const char *extra_headers, const char *body,
                   size_t size, int head)
{
    printf(
        "Status: %s\r\n"
        "Content-Type: text/html; charset=utf-8\r\n"
        "Content-Length: %lu\r\n"
        "Content-Security-Policy: default-src 'none'; style-src %s%s%s; form-action 'self'; "
        "frame-ancestors 'none'; base-uri 'none'\r\n"
        "X-Content-Type-Options: nosniff\r\n"
        "X-Frame-Options: DENY\r\n"
        "Cache-Control: no-store\r\n"
        "Referrer-Policy: same-origin\r\n"
        "%s\r\n",
        status, (unsigned long)size, *p->nonce ? "'nonce-" : "'none'", p->nonce, *p->nonce ? "'" : "",
        extra_headers ? extra_headers : "");
    if (!head && size > 0)
        fwrite(body, 1, size, stdout);
    return fflush(stdout) == 0 ? 0 : 1;
}

/* What a response holds before it is sent. */
struct response {
    const char *status;
    char extra_headers[256];
    char *body;
    size_t size;
    FILE *out;
};

static int begin(response *r, const char *status)
{
    r->status = status;
    r->extra_headers[0] = '\0';
    r->body = NULL;
    r->size = 0;
    r->out = open_memstream(&r->body, &r->size);
    return r->out != NULL;
}

static int finish(response *r, const page *p, int head)
{
    int ok = fclose(r->out) == 0;
    int status = ok ? respond(p, r->status, r->extra_headers, r->body, r->size, head)
                    : respond(p, "500 Internal Server Error", NULL, NULL, 0, head);
    free(r->body);
    return status;
}

static int refuse(page *p, const char *status, const char *title, const char *text, const char *extra,
                  int head)
{
    response r;
    if (!begin(&r, status))
        return respond(p, "500 Internal Server Error", NULL, NULL, 0, head);
    if (extra)
        snprintf(r.extra_headers, sizeof r.extra_headers, "%s", extra);
    put_refusal(r.out, p, title, text);
    return finish(&r, p, head);
}

static int show_page(page *p, const char *status, int head)
{
    response r;
    if (!begin(&r, status))
        return respond(p, "500 Internal Server Error", NULL, NULL, 0, head);
    put_page(r.out, p);
    return finish(&r, p, head);
}

static int redirect(page *p, const char *code)
{
    response r;
    if (!begin(&r, "303 See Other"))
        return respond(p, "500 Internal Server Error", NULL, NULL, 0, 0);
    snprintf(r.extra_headers, sizeof r.extra_headers, "Location: %s?m=%s\r\n", p->script, code);
    put_head(r.out, p, "Orvanta module");
    fputs("<p><a href=\"", r.out);
    html_put(r.out, p->script);
    fprintf(r.out, "?m=%s\">Back to the module's page</a></p>\n</body>\n</html>\n", code);
    return finish(&r, p, 0);
}

/* -- Changes ------------------------------------------------------------- */

/* The settings tool's rules for a text: no line break, at most TEXT_MAX. */
static const char *text_refusal(const char *text, const char *what)
{
    if (strpbrk(text, "\r\n"))
        return what;
    if (strlen(text) > TEXT_MAX)
        return "At most 16000 bytes.";
    return NULL;
}

static int parse_interval(const char *text, unsigned long *minutes)
{
    size_t length = strlen(text);
    if (length == 0 || length > 8 || strspn(text, "0123456789") != length)
        return 0;
    *minutes = strtoul(text, NULL, 10);
    return *minutes <= INTERVAL_MAX;
}

/* What the settings tool's exit status means. */
static const char *tool_failure(int status)
{
    switch (status) {
    case 4:
        return "the settings tool refused a value";
    case 5:
        return "there is no settings file, and no " MODULE_CFG_DEFAULTS_PATH " to make one from";
    case 6:
        return "the settings file cannot be read or saved (read-only or full flash?)";
    case 127:
    case -1:
        return SETTINGS_TOOL " cannot be run";
    default:
        return "the settings tool failed";
    }
}

/* Sets key to value through the settings tool, the value on its standard
 * input: secrets never show in the process list. */
static int set_setting(const char *key, const char *value)
{
    const char *const argv[] = {SETTINGS_TOOL, "set", key, "-", NULL};
    return spawn_wait(argv, value);
}

static int run_init(const char *command)
{
    const char *const argv[] = {INIT_SCRIPT, command, NULL};
    return spawn_wait(argv, NULL);
}

static int restart(page *p)
{
    int status = run_init("restart");
    load_settings(&p->settings);
    if (status != 0)
        return redirect(p, "restart-failed");
    return redirect(p, p->settings.readable && p->settings.enabled ? "restarted" : "restart-off");
}

static int save(page *p, const form_field *fields)
{
    const char *enabled = fields[F_ENABLED].value;
    const char *username = fields[F_USERNAME].value;
    const char *password = fields[F_PASSWORD].value;
    const char *interval = fields[F_INTERVAL].value;
    if (!username || !interval || (enabled && strcmp(enabled, "1") != 0))
        return refuse(p, "400 Bad Request", "Bad request", "The form was incomplete.", NULL, 0);
    unsigned long minutes = 0;
    p->field_error[F_USERNAME] = text_refusal(username, "A user name cannot hold a line break.");
    if (password)
        p->field_error[F_PASSWORD] = text_refusal(password, "A password cannot hold a line break.");
    if (!parse_interval(interval, &minutes))
        p->field_error[F_INTERVAL] = "A whole number of minutes from 0 to 35791394.";
    if (p->field_error[F_USERNAME] || p->field_error[F_PASSWORD] || p->field_error[F_INTERVAL]) {
        p->refused = 1;
        p->sent_enabled = enabled != NULL;
        p->sent_username = username;
        p->sent_interval = interval;
        load_settings(&p->settings);
        return show_page(p, "422 Unprocessable Content", 0);
    }

    /* Only what changed: each save is a write to the router's flash. */
    shown_settings old;
    memset(&old, 0, sizeof old);
    load_settings(&old);
    char minutes_text[16];
    snprintf(minutes_text, sizeof minutes_text, "%lu", minutes);
    int on = enabled != NULL;
    struct {
        const char *key;
        const char *value;
        int changed;
    } changes[] = {
        {MODULE_CFG_USERNAME, username, !old.readable || strcmp(old.username, username) != 0},
        {MODULE_CFG_PASSWORD, password, password && *password},
        {MODULE_CFG_INTERVAL, minutes_text, !old.readable || old.interval != minutes},
        {MODULE_CFG_ENABLED, on ? "1" : "0", !old.readable || (old.enabled != 0) != on},
    };
    free(old.username);
    int saved = 0;
    for (const auto &change : changes) {
        if (!change.changed)
            continue;
        int status = set_setting(change.key, change.value);
        if (status != 0) {
            static char problem[256];
            snprintf(problem, sizeof problem, "%s: %s. The module was not restarted.",
                     saved ? "Saved only in part" : "Not saved", tool_failure(status));
            p->problem = problem;
            load_settings(&p->settings);
            return show_page(p, "500 Internal Server Error", 0);
        }
        ++saved;
    }
    if (on)
        return redirect(p, run_init("restart") == 0 ? "saved-restarted" : "saved-not-started");
    return redirect(p, run_init("stop") == 0 ? "saved-stopped" : "saved-not-stopped");
}

static int handle_post(page *p)
{
    if (!same_origin())
        return refuse(p, "403 Forbidden", "Forbidden", "The change came from another site.", NULL, 0);
    long length = content_length();
    if (length < 0)
        return refuse(p, "400 Bad Request", "Bad request", "The request's length is no number.", NULL, 0);
    if (length > FORM_BODY_MAX)
        return refuse(p, "413 Content Too Large", "Too large", "The form was larger than this page takes.",
                      NULL, 0);
    if (!is_form_type(getenv("CONTENT_TYPE")))
        return refuse(p, "415 Unsupported Media Type", "Unsupported form", "The form was not sent as a form.",
                      NULL, 0);
    static char body[FORM_BODY_MAX + 1];
    form_field fields[F_COUNT] = {{"token", NULL},    {"action", NULL},   {"enabled", NULL},
                                  {"username", NULL}, {"password", NULL}, {"interval", NULL}};
    if (!read_body(body, (size_t)length))
        return refuse(p, "400 Bad Request", "Bad request", "The form arrived incomplete.", NULL, 0);
    if (form_decode(body, (size_t)length, fields, F_COUNT) != FORM_OK)
        return refuse(p, "400 Bad Request", "Bad request", "The form's encoding was malformed.", NULL, 0);
    if (!token_get(p->token, 0) || !token_matches(p->token, fields[F_TOKEN].value))
        return refuse(p, "403 Forbidden", "Forbidden",
                      "The change did not carry this page's token: open the page again and retry.", NULL, 0);
    p->has_token = 1;
    const char *action = fields[F_ACTION].value;
    int status;
    if (action && strcmp(action, "save") == 0)
        status = save(p, fields);
    else if (action && strcmp(action, "restart") == 0)
        status = restart(p);
    else
        status = refuse(p, "400 Bad Request", "Bad request", "The form asked for nothing this page does.",
                        NULL, 0);
    memset(body, 0, sizeof body);
    return status;
}

static const notice *find_notice(void)
{
    const char *query = getenv("QUERY_STRING");
    char text[64];
    if (!query || strlen(query) >= sizeof text)
        return NULL;
    memcpy(text, query, strlen(query) + 1);
    form_field code = {"m", NULL};
    if (form_decode(text, strlen(text), &code, 1) != FORM_OK || !code.value)
        return NULL;
    for (const notice &n : NOTICES)
        if (strcmp(n.code, code.value) == 0)
            return &n;
    return NULL;
}

static int handle_get(page *p, int head)
{
    p->has_token = token_get(p->token, 1);
    p->told = find_notice();
    load_settings(&p->settings);
    return show_page(p, "200 OK", head);
}

/* A descriptor 0, 1 or 2 left closed would be taken by the next file
 * opened and handed to the programs run as their standard one. */
static void open_standard_descriptors(void)
{
    int fd;
    while ((fd = open("/dev/null", O_RDWR)) >= 0 && fd <= 2) {
    }
    if (fd > 2)
        close(fd);
}

int main(void)
{
    open_standard_descriptors();
    /* A browser that goes away must not end a save half done. */
    signal(SIGPIPE, SIG_IGN);
    page p;
    memset(&p, 0, sizeof p);
    p.script = script_name();
    if (!random_hex(p.nonce, 16))
        p.nonce[0] = '\0';
    const char *method = getenv("REQUEST_METHOD");
    int status;
    if (method && strcmp(method, "GET") == 0)
        status = handle_get(&p, 0);
    else if (method && strcmp(method, "HEAD") == 0)
        status = handle_get(&p, 1);
    else if (method && strcmp(method, "POST") == 0)
        status = handle_post(&p);
    else
        status = refuse(&p, "405 Method Not Allowed", "Method not allowed",
                        "This page takes GET and POST alone.", "Allow: GET, HEAD, POST\r\n", 0);
    free(p.settings.username);
    return status;
}
