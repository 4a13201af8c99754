# The module on the booted router, as its start script runs it: the report
# on the wire and in syslog, the start script's commands, the agent's and
# the supervisor's end, the relay's protection, the memory they take.
. ./lib.sh

request='tessard: request: 1002,1,351234567890123,4711,89490200001234567890'
logged() { logread | grep -q "$1"; }
reported() { logged "$request"; }
agent_gone() { [ -z "$(pidof tessard)" ]; }
relay_gone() { [ -z "$(pids_of orvanta-log)" ]; }
agent_other_than() { pid=$(agent_pid) && [ "$pid" != "$1" ]; }
within() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
echo "# started at boot by its init script"
run $INIT status
check "init status: running (exit 0)" [ "$rc" -eq 0 ]
check "the ovx_Mobile record reaches the wire and syslog" wait_for 120 reported
logread | grep -E 'orvanta\[|tessard:' | sed 's/^.\{16\}//'
supervisor=$(pids_of module-supervisor)
check "the supervisor logs the agent's start" logged "orvanta\[$supervisor\]: Starting agent"
check "the agent's own lines are in logread" logged 'daemon.notice tessard: Agent running.'

echo "# the log relay"
relay=$(pids_of orvanta-log)
echo "relay $relay: oom_score_adj $(cat /proc/$relay/oom_score_adj)"
check "the relay is kept from the OOM killer" [ "$(cat /proc/$relay/oom_score_adj)" = -1000 ]

echo "# memory on this kernel (smaps_rollup, private clean + dirty)"
for program in module-supervisor orvanta-log; do
    pid=$(pids_of $program)
    echo "$program: private $(private_kb "$pid") kB;" \
        "$(grep -E '^(Rss|Pss|Private_Clean|Private_Dirty):' /proc/$pid/smaps_rollup | tr -s ' ' | tr '\n' ' ')"
done

echo "# the agent killed: started again after 3 s"
agent=$(agent_pid)
kill -KILL "$agent"
killed=$(uptime_cs)
if wait_for 30 agent_other_than "$agent"; then
    after=$(($(uptime_cs) - killed))
    echo "agent $agent killed, agent $(agent_pid) started $((after / 100)).$((after / 10 % 10))$((after % 10)) s later"
    check "the agent is started again after about 3 s" within "$after" 295 1000
else
    not_ok "the agent is started again after about 3 s (none within 30 s)"
fi

echo "# the supervisor SIGKILLed: its agent ends with it"
agent=$(agent_pid)
kill -KILL "$(pids_of module-supervisor)"
check "the agent is gone" wait_for 10 agent_gone
check "the relay ends once its writers are gone" wait_for 10 relay_gone
run $INIT status
run $INIT start
check "init start after the kill: exit 0" [ "$rc" -eq 0 ]
check "an agent runs" wait_for 30 agent_runs

echo "# stop, start, restart, status"
run $INIT stop
check "init stop: exit 0" [ "$rc" -eq 0 ]
check "nothing of the module is left after stop" no_module_left
run ls -A $STATE
run $INIT status
check "init status: not running (exit 3)" [ "$rc" -eq 3 ]
run $INIT start
check "init start: exit 0" [ "$rc" -eq 0 ]
check "an agent runs" wait_for 30 agent_runs
supervisor=$(pids_of module-supervisor)
run $INIT restart
check "init restart: exit 0" [ "$rc" -eq 0 ]
check "a new supervisor runs" [ "$(pids_of module-supervisor)" != "$supervisor" ]
check "an agent runs" wait_for 30 agent_runs
run $INIT status
check "init status: running (exit 0)" [ "$rc" -eq 0 ]
finish
