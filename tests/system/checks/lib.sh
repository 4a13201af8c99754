# What the checks on the emulated router share (POSIX sh, busybox).

INIT=/opt/orvanta/etc/init
TOOL=/opt/orvanta/bin/orvanta-settings
STATE=/var/orvanta
passed=0
failed=0

ok() {
    passed=$((passed + 1))
    echo "ok - $*"
}

not_ok() {
    failed=$((failed + 1))
    echo "FAILED - $*"
}

# check DESCRIPTION COMMAND...: ok when COMMAND succeeds.
check() {
    description=$1
    shift
    if "$@"; then ok "$description"; else not_ok "$description"; fi
}

# The counts, as the host adds them up; exit status 1 after a failure.
finish() {
    echo "checks: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

# run COMMAND...: shows the command, its output and its exit status (in
# $rc), as a transcript does.
run() {
    echo "\$ $*"
    "$@" > /tmp/run.out 2>&1
    rc=$?
    sed 's/^/  /' /tmp/run.out
    [ "$rc" -eq 0 ] || echo "  [$rc]"
    return 0
}

# Hundredths of a second since boot.
uptime_cs() {
    read -r up rest < /proc/uptime
    fraction=${up#*.}
    echo $((${up%.*} * 100 + ${fraction#0}))
}

# wait_for SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds;
# false when the deadline passed first.
wait_for() {
    deadline=$(($(uptime_cs) + $1 * 100))
    shift
    until "$@"; do
        [ "$(uptime_cs)" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# The module's processes, "PID PROGRAM" each: those running a program of
# /opt/orvanta (zombies have none).
module_processes() {
    for entry in /proc/[0-9]*; do
        exe=$(readlink "$entry/exe" 2> /dev/null) || continue
        case $exe in /opt/orvanta/*) echo "${entry#/proc/} ${exe##*/}" ;; esac
    done
}

# The pids of the module's program $1 (module-supervisor, tessard,
# orvanta-log), one line each.
pids_of() {
    module_processes | awk -v program="$1" '$2 == program { print $1 }'
}

# The agent's pid, when one agent runs.
agent_pid() {
    set -- $(pidof tessard)
    [ $# -eq 1 ] && echo "$1"
}

agent_runs() { [ -n "$(agent_pid)" ]; }

no_module_left() {
    [ -z "$(module_processes)" ] && [ ! -e $STATE/module-supervisor.pid ] && [ ! -e $STATE/status ]
}

# Private memory of process $1 in kB, clean + dirty, from smaps_rollup.
private_kb() {
    awk '/^Private_(Clean|Dirty):/ { kb += $2 } END { print kb }' "/proc/$1/smaps_rollup"
}
