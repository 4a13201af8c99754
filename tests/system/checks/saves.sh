# Settings saves under power cuts: a loop of `orvanta-settings set` whose
# every acknowledged save is recorded where the cut does not reach, and the
# checks after a cut. Save N changes one key: odd ones the user name (5 kB,
# so that the file spans two pages; one in ten of them through the
# module's page), even ones the password (through the tool's standard
# input). After save N the file is, byte for byte,
# version_text N; save 0 puts both keys in that form.
. ./lib.sh

SETTINGS=/opt/orvanta/etc/settings
PAD=$(printf '%5000s' '' | tr ' ' x)

# The settings file after save $1.
version_text() {
    user=$1 password=$1
    if [ "$1" -gt 0 ]; then
        if [ $(($1 % 2)) -eq 1 ]; then password=$(($1 - 1)); else user=$(($1 - 1)); fi
    fi
    printf 'MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=user-%s-%s\nMOD_ORVANTA_PASSWORD=pw-%s\nMOD_ORVANTA_INTERVAL=60\n' \
        "$user" "$PAD" "$password"
}

# Prints N when the settings file is whole as after save N; false when it
# is missing, empty, torn or anything else.
file_version() {
    [ -s "$SETTINGS" ] || return 1
    set -- $(sed -n 's/^MOD_ORVANTA_USERNAME=user-\([0-9]*\)-.*/\1/p; s/^MOD_ORVANTA_PASSWORD=pw-\([0-9]*\)$/\1/p' "$SETTINGS")
    [ $# -eq 2 ] || return 1
    n=$1
    [ "$2" -gt "$n" ] && n=$2
    version_text "$n" | cmp -s - "$SETTINGS" && echo "$n"
}

# A save through the module's page, as a browser posts its form: the
# page's token, the user name changed, the password field left empty (the
# stored one kept). Acknowledged by the page's redirect.
PAGE=/opt/orvanta/www/cgi-bin/orvanta
page_save() {
    [ -s /var/orvanta/page-token ] || REQUEST_METHOD=GET $PAGE > /dev/null
    body="token=$(head -c 64 /var/orvanta/page-token)&action=save&enabled=1&username=$1&password=&interval=60"
    printf '%s' "$body" | REQUEST_METHOD=POST CONTENT_TYPE=application/x-www-form-urlencoded \
        CONTENT_LENGTH=${#body} HTTP_HOST=router $PAGE | head -n 1 | grep -q '^Status: 303'
}

save() {
    if [ $(($1 % 20)) -eq 1 ]; then
        page_save "user-$1-$PAD"
    elif [ $(($1 % 2)) -eq 1 ]; then
        $TOOL set MOD_ORVANTA_USERNAME "user-$1-$PAD"
    else
        printf '%s\n' "pw-$1" | orvanta-set-secret MOD_ORVANTA_PASSWORD
    fi
}

# save_loop RECORD [COUNT]: saves N+1, N+2, ... after the file's version N
# (0 first where it has none), COUNT at most, one after the other, each
# acknowledged save as a line "saved N" appended to RECORD; ends at the
# first save that fails ("failed N STATUS"), or after COUNT ("done N").
save_loop() {
    if ! n=$(file_version); then
        { $TOOL set MOD_ORVANTA_USERNAME "user-0-$PAD" && printf 'pw-0\n' | orvanta-set-secret MOD_ORVANTA_PASSWORD; } ||
            { echo "failed 0 $?" >> "$1"; return 1; }
        n=0
        echo "saved 0" >> "$1"
    fi
    last=$((n + ${2:-1000000}))
    while [ "$n" -lt "$last" ]; do
        n=$((n + 1))
        save "$n" > /dev/null 2>&1 || { echo "failed $n $?" >> "$1"; return 1; }
        echo "saved $n" >> "$1"
    done
    echo "done $n" >> "$1"
}

# The loop in the background, of no job: it runs on when the job has ended
# and its folder is gone.
start_saves() {
    mkdir -p /run/saves && cp lib.sh saves.sh /run/saves/ &&
        (cd /run/saves && setsid sh -c '. ./saves.sh; save_loop "$@"' save_loop "$@" < /dev/null > /dev/null 2>&1 &)
}

# last_saved RECORD: the number of the last acknowledged save (-1: none).
last_saved() {
    awk '$1 == "saved" { n = $2 } END { print (n == "" ? -1 : n) }' "$1"
}

leftovers() {
    ls -A /opt/orvanta/etc | grep -v -x -e settings -e settings.default -e init
}

# after_cut CUT LAST COUNT: the checks after a cut and boot, given the last
# acknowledged save and how many were acknowledged since the one before;
# starts the module (as the boot does). Ends with a line of figures for
# the host: "figures: cut CUT saves COUNT last LAST found N leftovers L
# module running|down" (N -1: no whole file).
after_cut() {
    if version=$(file_version); then
        ok "cut $1: the settings file is whole, as after save $version"
    else
        not_ok "cut $1: the settings file is missing, empty or torn ($(wc -c < $SETTINGS 2>&1) bytes)"
        version=-1
    fi
    check "cut $1: every acknowledged save is there (last $2)" [ "$version" -ge "$2" ]
    check "cut $1: no more than the save under way is there" [ "$version" -le $(($2 + 2)) ]
    $INIT start > /dev/null
    left=$(leftovers | tr '\n' ' ')
    check "cut $1: no temporary settings file is left${left:+ (found: $left)}" [ -z "$left" ]
    if wait_for 30 agent_runs && $INIT status > /dev/null; then
        module=running
        ok "cut $1: the module starts"
    else
        module=down
        not_ok "cut $1: the module starts"
    fi
    echo "figures: cut $1 saves $3 last $2 found $version leftovers $(leftovers | wc -l) module $module"
}
